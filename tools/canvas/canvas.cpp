// The demo's drawing window: a plain white window at the place and size
// given on the command line (x y width height) that draws the path of the
// pointer while the left button is held, so that a drag on the touch screen
// leaves a visible trace. A stroke starts at the first move after the
// press: under Wine the press itself may carry the pointer's position from
// before the move that came with it.
#include <windows.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK CanvasProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static POINT last{};
  static bool stroke = false;
  switch (message) {
    case WM_LBUTTONDOWN:
      stroke = false;
      return 0;
    case WM_MOUSEMOVE: {
      const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (stroke && (wParam & MK_LBUTTON) != 0) {
        HDC dc = GetDC(window);
        HGDIOBJ old = SelectObject(dc, CreatePen(PS_SOLID, 3, RGB(200, 30, 30)));
        MoveToEx(dc, last.x, last.y, nullptr);
        LineTo(dc, point.x, point.y);
        DeleteObject(SelectObject(dc, old));
        ReleaseDC(window, dc);
      }
      stroke = (wParam & MK_LBUTTON) != 0;
      last = point;
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

int Argument(int index) {
  return index < __argc ? std::atoi(__argv[index]) : 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA windowClass{};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = CanvasProc;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hInstance = instance;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = "ZtCanvas";
  RegisterClassA(&windowClass);
  CreateWindowExA(0, "ZtCanvas", "ZtCanvas", WS_POPUP | WS_VISIBLE, Argument(1), Argument(2),
                  Argument(3), Argument(4), nullptr, nullptr, instance, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    DispatchMessageA(&message);
  }
  return 0;
}

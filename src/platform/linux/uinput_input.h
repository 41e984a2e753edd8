#pragma once

#include <linux/input.h>

#include <cstdint>
#include <string>
#include <utility>

#include "platform/linux/linux_input.h"

namespace zt {

// The calls of /dev/uinput, so that a test can stand in for the kernel:
// an ioctl with a number, one with a structure, and events written.
class IUinputNode {
public:
  virtual ~IUinputNode() = default;
  virtual bool Open() = 0;
  virtual bool Control(unsigned long request, int value) = 0;
  virtual bool Control(unsigned long request, const void* structure) = 0;
  // Writes events of the kernel's struct input_event, count of them.
  virtual bool Write(const void* events, std::size_t count) = 0;
};

// One event of the kernel's input protocol.
input_event UinputEvent(std::uint16_t type, std::uint16_t code, std::int32_t value);
// Declares an absolute axis from 0 to maximum.
bool DeclareAxis(IUinputNode& node, int code, std::int32_t maximum);
// Names the declared device (a virtual bus, product of ours) and makes it.
bool MakeDevice(IUinputNode& node, const char* name, std::uint16_t product);

// IUinputNode over the device node (a descriptor, closed with the object).
class UinputNode final : public IUinputNode {
public:
  explicit UinputNode(std::string path = "/dev/uinput") : m_path(std::move(path)) {}
  UinputNode(const UinputNode&) = delete;
  UinputNode& operator=(const UinputNode&) = delete;
  ~UinputNode() override;
  bool Open() override;
  bool Control(unsigned long request, int value) override;
  bool Control(unsigned long request, const void* structure) override;
  bool Write(const void* events, std::size_t count) override;

private:
  std::string m_path;
  int m_fd = -1;
};

// The mouse as a virtual absolute pointer that every session stack takes
// for hardware: ABS_X and ABS_Y from 0 to 65 535 over the whole screen
// (the program's absolute units over the virtual desktop), and the left,
// right and middle buttons (without a middle button, libinput would hold
// every left or right press back to see whether the other follows).
class UinputInput final : public CLinuxInput {
public:
  static constexpr std::int32_t kAbsoluteMax = 65535;

  explicit UinputInput(IUinputNode& node) : m_node(node) {}
  UinputInput(const UinputInput&) = delete;
  UinputInput& operator=(const UinputInput&) = delete;
  // Removes the device from the system.
  ~UinputInput() override;

  // Opens the node and makes the device; false when the node cannot be
  // opened (no uinput, no right to it) or refuses a step.
  bool Create();

  void MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                  std::uintptr_t extraInfo) override;

private:
  IUinputNode& m_node;
  bool m_created = false;
};

}  // namespace zt

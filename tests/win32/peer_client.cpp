#include "peer_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>

namespace zt::test {
namespace {

constexpr std::uintptr_t kNoSocket = static_cast<std::uintptr_t>(INVALID_SOCKET);

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (std::uint8_t byte : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

std::vector<std::uint8_t> Unhex(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
  }
  return bytes;
}

}  // namespace

PeerClient::PeerClient() : m_socket(kNoSocket) {
  const char* port = std::getenv("ZT_PEER_PORT");
  if (port == nullptr) {
    return;
  }
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    return;
  }
  SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    closesocket(sock);
    return;
  }
  m_socket = static_cast<std::uintptr_t>(sock);
}

PeerClient::~PeerClient() {
  if (m_socket != kNoSocket) {
    closesocket(static_cast<SOCKET>(m_socket));
    WSACleanup();
  }
}

bool PeerClient::Connected() const {
  return m_socket != kNoSocket;
}

std::string PeerClient::ComPortName() {
  const char* name = std::getenv("ZT_PEER_COM");
  return name == nullptr ? std::string() : std::string(name);
}

std::string PeerClient::Ask(const std::string& request) {
  if (!Connected()) {
    return "ERR no peer";
  }
  const std::string line = request + "\n";
  send(static_cast<SOCKET>(m_socket), line.data(), static_cast<int>(line.size()), 0);
  std::string answer;
  char byte = 0;
  while (recv(static_cast<SOCKET>(m_socket), &byte, 1, 0) == 1 && byte != '\n') {
    answer += byte;
  }
  return answer;
}

bool PeerClient::Send(const std::vector<std::uint8_t>& bytes) {
  return Ask("SEND " + Hex(bytes)) == "OK";
}

std::vector<std::uint8_t> PeerClient::Receive(int count, int timeoutMs) {
  const std::string answer = Ask("RECV " + std::to_string(count) + " " + std::to_string(timeoutMs));
  return answer.rfind("OK", 0) == 0 && answer.size() > 3 ? Unhex(answer.substr(3))
                                                         : std::vector<std::uint8_t>{};
}

std::string PeerClient::LineSettings() {
  const std::string answer = Ask("TERMIOS");
  return answer.rfind("OK ", 0) == 0 ? answer.substr(3) : answer;
}

}  // namespace zt::test

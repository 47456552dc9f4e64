#include "Control.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "Files.h"
#include "StandinProtocol.h"

namespace standin {
namespace {

// The line of |text| starting at |at|, without its line end; |at| moves on.
std::string_view NextLine(std::string_view text, std::size_t& at) {
  std::size_t end = std::min(text.find('\n', at), text.size());
  std::string_view line = text.substr(at, end - at);
  at = end + 1;
  return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
}

std::string KeyOf(std::string_view line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos || line.starts_with('#')) return std::string();
  return Lower(std::string(line.substr(0, equals)));
}

}  // namespace

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::optional<std::string> Setting(const std::string& key) {
  const std::string text = ReadText(kControlFile);
  for (std::size_t at = 0; at < text.size();) {
    const std::string_view line = NextLine(text, at);
    if (KeyOf(line) == Lower(key)) return std::string(line.substr(line.find('=') + 1));
  }
  return std::nullopt;
}

HRESULT BusyAnswer(const char* kind) {
  const long left = std::atol(Setting(key::kBusy).value_or("0").c_str());
  const std::string on = Lower(Setting(key::kBusyOn).value_or("any"));
  if (kind == nullptr || left <= 0 || (on != "any" && on != Lower(kind))) return S_OK;
  const std::string text = ReadText(kControlFile);
  std::string rewritten;
  for (std::size_t at = 0; at < text.size();) {
    const std::string_view line = NextLine(text, at);
    rewritten += KeyOf(line) == key::kBusy
                     ? std::string(key::kBusy) + "=" + std::to_string(left - 1)
                     : std::string(line);
    rewritten += "\r\n";
  }
  WriteText(kControlFile, rewritten, false);
  const std::string code = Lower(Setting(key::kBusyCode).value_or(""));
  return code == "rejected"       ? RPC_E_CALL_REJECTED
         : code == "stopping"     ? CO_E_SERVER_STOPPING
         : code == "exec-failure" ? CO_E_SERVER_EXEC_FAILURE
                                  : RPC_E_SERVERCALL_RETRYLATER;
}

}  // namespace standin

#include "expected_calls.h"

#include <cstdio>

namespace expected {

std::vector<std::string> bring_up(const std::string& address) {
  return {
      "gp_init(1, 0, 0) = 0",
      "gp_cli() = 0",
      "gp_ren() = 0",
      "gp_tmout(5) = 0",
      "gp_clr(\"" + address + "\") = 0",
      "gp_wait(1) = 0",
      "gp_llo() = 0",
  };
}

std::string release() { return "gp_lcl(\"\") = 0"; }

std::string release_before_init() { return "gp_lcl(\"\") = 1"; }

std::string write(const std::string& message, int result, const std::string& address) {
  return "gp_wrt(\"" + address + "\", \"" + message + "\") = " + std::to_string(result);
}

std::string read(const std::string& escaped_reply, int result, const std::string& address) {
  return "gp_red(\"" + address + "\", 256) = " + std::to_string(result) + " \"" + escaped_reply + "\"";
}

std::string settings(const std::string& waveform, const std::string& frequency, const std::string& amplitude) {
  return ":FUNC " + waveform + ";:FREQ " + frequency + ";:OFFS:STAT OFF;:AMPL " + amplitude + ";:OUTP ON";
}

std::vector<std::string> output_on_with_defaults() {
  return {
      write(":FUNC SIN;:FREQ 1000.000000;:OFFS:STAT OFF;:AMPL 3.000000;:OUTP ON"),
      write(":FUNC?"),
      read("SIN\\n"),
      write(":AMPL?"),
      read("+3.000000E+00\\n"),
      write(":FREQ?"),
      read("+1.000000E+03\\n"),
  };
}

std::string escaped(const std::string& raw) {
  std::string out;
  for (unsigned char byte : raw) {
    switch (byte) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      default:
        if (byte < 0x20 || byte >= 0x7F) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02x", byte);
          out += hex;
        } else {
          out += static_cast<char>(byte);
        }
    }
  }
  return out;
}

std::vector<std::string> between_bring_up_and_release(const std::vector<std::string>& calls) {
  const size_t bring_up_length = bring_up().size();
  if (calls.size() < bring_up_length + 1) return {};
  return std::vector<std::string>(calls.begin() + bring_up_length, calls.end() - 1);
}

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace expected

#pragma once

#include <stdexcept>
#include <string>

namespace verifax {

/// The one failure type of an inspection run. Its message is the complete text shown to
/// the user (UTF-8, Portuguese, line breaks as CR LF).
class InspectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The failure of a run whose document was changed on disk by another program while the
/// run was reading it (the text it holds can no longer be trusted).
inline std::string FileChangedMessage(const std::string& path) {
  return "Cannot read file \"" + path +
         "\". The file was changed by another program while it was being inspected.";
}

}  // namespace verifax

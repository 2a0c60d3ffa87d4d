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

}  // namespace verifax

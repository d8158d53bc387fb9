#include "kavor/status.hpp"

#include <array>

namespace kavor {

namespace {

#define KAVOR_STATUS_ROW(code, python_class, python_base, batch, text) \
  StatusInfo{Status::code, #code, python_class, python_base, batch, text},
constexpr std::array<StatusInfo, kStatusCount> kStatuses = {KAVOR_STATUS_TABLE(KAVOR_STATUS_ROW)};
#undef KAVOR_STATUS_ROW

}  // namespace

const std::array<StatusInfo, kStatusCount>& status_codes() { return kStatuses; }

std::string_view status_name(Status status) {
  const auto k = static_cast<std::size_t>(status);
  return k < kStatuses.size() ? kStatuses[k].name : "unknown";
}

}  // namespace kavor

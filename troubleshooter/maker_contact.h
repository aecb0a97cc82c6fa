#pragma once

// Header-only constants shared with the main program; nothing of it is linked.
#include "app/maker.h"

namespace qv::troubleshooter {

// The maker's support address, where the report is mailed.
constexpr const char* kSupportAddress = qv::kSupportEmail;

// The troubleshooter's own version, shown in its caption.
constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 0;

constexpr const char* kProgramTitle = "Quorvel Troubleshooter";
constexpr const char* kCredit = " - by the Quorvel developers";

}  // namespace qv::troubleshooter

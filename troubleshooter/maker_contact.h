#pragma once

namespace qv::troubleshooter {

// The maker's support address, where the report is mailed.
constexpr const char* kSupportAddress = "quorvel-support@velmora.example";

// The troubleshooter's own version, shown in its caption.
constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 0;

constexpr const char* kProgramTitle = "Quorvel Troubleshooter";
constexpr const char* kCredit = " - by the Quorvel developers";

}  // namespace qv::troubleshooter

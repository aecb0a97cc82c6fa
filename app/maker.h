#pragma once

// Where the program's maker can be reached: the about window's links and the update page of
// "Check for updates".
namespace qv {

constexpr const char* kSupportEmail = "quorvel-support@velmora.example";
constexpr const char* kWebsite = "https://velmora.example/quorvel";
constexpr const char* kUpdatePage = "https://velmora.example/quorvel/updates";
// The subject line the mail link fills in (kept as the earlier version sent it, so the
// maker's mail filters still sort these messages).
constexpr const char* kSupportMailSubject = "Quorvel v2.0";

// Data files beside the program.
constexpr const char* kIconFile = "quorvel.png";
constexpr const char* kHelpIndex = "help/index.html";  // the HTML help
constexpr const char* kHelpChm = "Quorvel3.chm";       // the same pages compiled, when built

}  // namespace qv

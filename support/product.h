#pragma once
// The program's name and version: the window caption, the application title of its message
// boxes and the version resource come from here.

namespace ostrel {

constexpr const char* kProductName = "Ostrel Interface";
constexpr const char* kAppTitle = kProductName;
constexpr int kVersionMajor = 5;
constexpr int kVersionMinor = 1;
constexpr int kVersionRevision = 1;

}  // namespace ostrel

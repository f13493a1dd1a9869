// The fixed messages of the front door, shared by every program that prints them.
#pragma once

namespace plumbing::message {

inline constexpr const char* kOpenInput = "Error opening input file \"%s\"\n";
inline constexpr const char* kOpenOutput = "Error opening output file \"%s\"\n";
inline constexpr const char* kOutputIsInput =
    "Error opening output file \"%s\": it is the input file\n";
inline constexpr const char* kInputIsStandardOutput =
    "Error opening input file \"%s\": it is standard output\n";
inline constexpr const char* kReading = "Error reading file\n";
inline constexpr const char* kWriting = "Error writing file\n";
// The guard could not hold a closed standard descriptor (followed by the cause).
inline constexpr const char* kGuard = "Error holding a closed standard descriptor";

}  // namespace plumbing::message

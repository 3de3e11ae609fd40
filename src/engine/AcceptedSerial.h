#pragma once
// The highest catalogue serial the updater has accepted, kept between runs
// in a small file of its own in the program folder: the decimal serial and
// CR LF.  Start-up housekeeping leaves it alone.
//
// A missing file reads as 0.  So does one that holds anything else: only a
// local user or a damaged disk can change the file, never the network, and
// refusing every catalogue from then on would leave the user without
// updates; the next catalogue accepted writes it afresh.
#include <cstdint>
#include <string>

namespace engine {

inline constexpr const char* kAcceptedSerialFileName = "catalogue-serial.txt";

uint64_t ReadAcceptedSerial(const std::string& programFolder);
// Writes the file whole through a temporary file and a rename; raises
// EFCreateError when it cannot.
void RecordAcceptedSerial(const std::string& programFolder, uint64_t serial);

}  // namespace engine

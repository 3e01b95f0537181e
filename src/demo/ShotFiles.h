// ShotFiles: the files of one screenshot: a name that no file of the set has
// yet, found without opening anything that is there, and the set written all
// or nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A second's shots are numbered "<stamp>", "<stamp>-2" ... "<stamp>-100".
constexpr int kMaxShotsPerSecond = 100;
// What one shot may write beside its stem: the window, the truth, the
// difference and the view's JSON.
constexpr const char* kShotSuffixes[] = {".png", "-truth.png", "-difference.png", ".json"};

// The first numbered stem in folder under which none of kShotSuffixes names
// anything (a file, a folder, a FIFO or a device, a link even to nothing):
// names are looked up, never opened, so nothing there can block or be
// overwritten. False with the reason in *error when every stem is taken.
bool ChooseShotStem(const std::string& folder, const std::string& stamp, std::string* stem,
                    std::string* error);

struct ShotFile {
    std::string path;
    std::vector<uint8_t> bytes;
};

// Writes every file whole, in order, appending each path to *written. On
// the first failure the files this call wrote are removed again (their
// names were free, so nothing older is lost), *written is left as it was,
// and false comes back with the reason in *error.
bool WriteShotSet(const std::vector<ShotFile>& files, std::vector<std::string>* written,
                  std::string* error);

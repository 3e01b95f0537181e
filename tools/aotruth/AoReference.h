// AoReference: the cache on disk of the ray-traced occlusion of a view.
#pragma once

#include <string>
#include <vector>

#include "ssao/AoTrace.h"

// What a cached reference must match to be reused: every input that
// changes the picture, as text; modelFiles are every file the model reads
// (model, material libraries, textures), each keyed by size and time.
std::string ReferenceKey(const std::string& modelPath, const std::vector<std::string>& modelFiles,
                         const CameraSetup& camera, const TraceSettings& settings);
// The cache file's name for a key (a hash of it, inside dir).
std::string ReferenceCachePath(const std::string& dir, const std::string& key);
// 0 when path holds a reference made for exactly key, whose camera is camera;
// -1 otherwise (missing or stale files are simply traced again; a file of
// this key whose size fields or length don't match the camera is damaged,
// and traced again with a warning).
int LoadReference(const std::string& path, const std::string& key, const CameraSetup& camera,
                  ReferenceImage* out);
// 0, or -1 (logged).
int SaveReference(const std::string& path, const std::string& key, const ReferenceImage& image);

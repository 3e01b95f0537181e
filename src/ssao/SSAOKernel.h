// SSAOKernel: the CPU side of the occlusion estimate: one process-wide random
// source, the cosine-weighted hemisphere kernel and the 4x4 rotation noise.
#pragma once

#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

constexpr int kNoiseSize = 4; // the noise tile is kNoiseSize x kNoiseSize
constexpr int kNoiseCount = kNoiseSize * kNoiseSize;

// Uniform in [min, max), from two consecutive outputs of one MT19937 seeded
// once from the system's random device.
float RandomFloat(float min, float max);
// Restarts that generator from seed, so that a test draws the same kernels
// and noise on every run (the program never calls it).
void SeedRandom(uint32_t seed);
// Concentric square-to-disk mapping: (u, v) in [0,1)^2 onto the unit disk.
void ConcentricSampleDisk(float u, float v, float* x, float* y);
// Empties kernel (keeping its storage) and appends n unit vectors with z >= 0,
// cosine-distributed around +z.
void GenerateKernel(uint32_t n, std::vector<glm::vec3>& kernel);
// Appends 16 vectors (x, y, 0) with x, y in [-1, 1).
void GenerateNoise(std::vector<glm::vec3>& noise);

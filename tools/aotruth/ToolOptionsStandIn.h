// Temporary: the shared tool options until the common module arrives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

class Vesperon;

constexpr const char* kDefaultModelPath = "models/sponza.obj";
constexpr const char* kDefaultKernelList = "4,8,16,32,64,128";

bool ParseVector(const std::string& text, glm::vec3* out, std::string* error);
bool ParseKernelList(const std::string& text, std::vector<uint32_t>* out, std::string* error);
bool ParseRadius(const std::string& text, float* out, std::string* error);
bool ParseCount(const std::string& text, int minimum, int maximum, int* out, std::string* error);

struct NamedView {
    std::string name;
    glm::vec3 eye;
    glm::vec3 dir;
};
std::vector<NamedView> DefaultViews();

struct ViewOptions {
    std::string modelPath = kDefaultModelPath;
    std::vector<NamedView> views;
    std::vector<uint32_t> kernels;
    float radius = 0.0f;
    bool hasEye = false;
    bool hasDir = false;
    glm::vec3 eye{0.0f};
    glm::vec3 dir{0.0f};
};

enum OptionResult {
    OPTION_NOT_MINE = 0,
    OPTION_TAKEN = 1,
    OPTION_BAD = -1,
};

OptionResult TakeViewOption(int argc, char** argv, int* index, ViewOptions* options,
                            std::string* error);
bool FinishViewOptions(ViewOptions* options, std::string* error);
void AimApp(Vesperon& app, const glm::vec3& eye, const glm::vec3& dir);

// ShaderProgram: a GL program built from one vertex and one fragment file
// under shaders/, and the locations of every uniform any program of the
// system uses. Drawing code sets uniforms only through this record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <GL/glcorearb.h>

constexpr const char* kShaderPrefix = "#version 330 core\n\n";
constexpr int kShaderStageSlots = 5; // vertex, fragment, geometry, two tessellation
constexpr int kMaxKernelSize = 128;  // elements of ssaoSamples in the SSAO shader

struct ShaderProgram {
    uint32_t program = 0;
    // -1 is GL's location of no uniform, which glUniform* calls ignore:
    // a record never linked sets nothing by accident.
    int32_t modelMatrix = -1;
    int32_t viewMatrix = -1;
    int32_t projMatrix = -1;
    int32_t texDiffuse = -1;
    int32_t texFontAtlas = -1;
    int32_t textColor = -1;
    int32_t texGPosition = -1;
    int32_t texGNormal = -1;
    int32_t texGAlbedo = -1;
    int32_t ssaoEnabled = -1;
    int32_t ssaoRadius = -1;
    int32_t ssaoKernelSize = -1;
    int32_t ssaoSamples = -1;
    int32_t texSSAONoise = -1;
    int32_t texSSAO = -1;
    int32_t singleChannel = -1;
    int32_t ambientFactor = -1;
};
static_assert(sizeof(ShaderProgram) == 18 * 4, "the record is 18 32-bit fields");

// 0 when the program linked from both stages, -1 otherwise (a stage that
// can't be read or compiled fails the load; see ShaderProgram.cpp).
// Why a program was not built: the file the failure came from (both files,
// "a.vert + b.frag", for a link failure no stage explains) and the first line
// of the driver's message, or the reason the file could not be read.
struct ShaderFailure {
    std::string file;
    std::string message;
    // "file: message", as the overlay shows it.
    std::string Line() const { return file + ": " + message; }
};

// fragmentDefines (lines such as "#define X\n") go between the version line
// and the fragment file, so one file builds several variants of a program.
int LoadShaderProgram(ShaderProgram& record, const char* vertexPath, const char* fragmentPath,
                      ShaderFailure* failure = nullptr, const char* fragmentDefines = "");

// The files of one program and the record it lives in: an owner lists its
// programs once, in load order, and loads, reloads and releases from that list.
struct ShaderSource {
    ShaderProgram* record = nullptr;
    const char* vertexPath = nullptr;
    const char* fragmentPath = nullptr;
    const char* fragmentDefines = ""; // a variant's "#define" lines, if any
};
// Loads each in order and stops at the first failure: 0, or -1 (logged).
int LoadShaderPrograms(const std::vector<ShaderSource>& sources);
// Destroys each, last first (reverse order of loading).
void DestroyShaderPrograms(const std::vector<ShaderSource>& sources);
// The compiled shader name, or 0 on any failure (logged). A compile that
// succeeded with messages (warnings) logs them at warning level.
// *failure (when given and still empty) gets the first failure's account.
uint32_t CompileShader(const char* path, GLenum stage, ShaderFailure* failure = nullptr,
                       const char* defines = "");
// Logs a GL info log line by line at error level; empty lines are skipped.
void PrintInfoLog(const char* log, int length);
// Deletes the record's program (when it has one) and resets the name to 0.
// Must run while the GL context exists.
void DestroyShaderProgram(ShaderProgram& record);

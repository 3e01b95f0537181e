// ShaderProgram: a GL program built from one vertex and one fragment file
// under shaders/, and the locations of every uniform any program of the
// system uses. Drawing code sets uniforms only through this record.
#pragma once

#include <cstdint>

#include <GL/glcorearb.h>

constexpr const char* kShaderPrefix = "#version 330 core\n\n";
constexpr int kShaderStageSlots = 5; // vertex, fragment, geometry, two tessellation
constexpr int kMaxKernelSize = 128;  // elements of ssaoSamples in the SSAO shader

struct ShaderProgram {
    uint32_t program = 0;
    int32_t modelMatrix;
    int32_t viewMatrix;
    int32_t projMatrix;
    int32_t texDiffuse;
    int32_t texFontAtlas;
    int32_t textColor;
    int32_t texGPosition;
    int32_t texGNormal;
    int32_t texGAlbedo;
    int32_t ssaoEnabled;
    int32_t ssaoRadius;
    int32_t ssaoKernelSize;
    int32_t ssaoSamples;
    int32_t texSSAONoise;
    int32_t texSSAO;
    int32_t singleChannel;
    int32_t ambientFactor;
};
static_assert(sizeof(ShaderProgram) == 18 * 4, "the record is 18 32-bit fields");

// 0 when the program linked from both stages, -1 otherwise (a stage that
// can't be read or compiled fails the load; see ShaderProgram.cpp).
int LoadShaderProgram(ShaderProgram& record, const char* vertexPath, const char* fragmentPath);
// The compiled shader name, or 0 on any failure (logged). A compile that
// succeeded with messages (warnings) logs them at warning level.
uint32_t CompileShader(const char* path, GLenum stage);
// Logs a GL info log line by line at error level; empty lines are skipped.
void PrintInfoLog(const char* log, int length);
// Deletes the record's program (when it has one) and resets the name to 0.
// Must run while the GL context exists.
void DestroyShaderProgram(ShaderProgram& record);

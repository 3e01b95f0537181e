// Renderer: owns the OpenGL context of the application window and the state
// every drawing path shares: view and projection matrices, the current
// program, a 1x1 white fallback texture and the text program. Draws scene
// nodes (forward) and text strings in window pixels.
#pragma once

#include <cstdint>

#include <SDL2/SDL.h>
#include <glm/glm.hpp>

#include "gpu/ShaderProgram.h"

constexpr const char* kTextVertexPath = "shaders/Text.vert";
constexpr const char* kTextFragmentPath = "shaders/Text.frag";

class Window;
class SceneGraphNode;
class DynamicText;

class Renderer {
public:
    explicit Renderer(Window* window);
    // Deletes the text program, then the context (which takes the white texture with it).
    virtual ~Renderer();

    virtual int Init();
    virtual void SetViewMatrix(const glm::mat4& m);
    virtual void SetProjectionMatrix(const glm::mat4& m);
    virtual void UseShader(ShaderProgram* shader);
    virtual void DrawNode(SceneGraphNode* node);
    virtual void Clear();

    // Draws a prepared text with its origin at window pixel (x, y), y down.
    void DrawText(DynamicText* text, int x, int y, const glm::vec4& color);

    // The GL renderer's name ("llvmpipe (LLVM ...)"), for reports.
    const char* DeviceName() const;
    // Waits until the GL has finished everything it was given (timing).
    void WaitIdle() const;

    // The text program and its files: loaded by Init, built again by reloads.
    ShaderSource TextProgram() { return {&mShaderText, kTextVertexPath, kTextFragmentPath}; }

    // The matrices last set, for code that reads the view (read-backs, tools).
    const glm::mat4& ViewMatrix() const { return mViewMatrix; }
    const glm::mat4& ProjectionMatrix() const { return mProjectionMatrix; }

    Window* mWindow;
    SDL_GLContext mContext;
    uint32_t mWhiteTexture;
    glm::mat4 mViewMatrix;
    glm::mat4 mProjectionMatrix;
    ShaderProgram* mCurrentShader;
    ShaderProgram mShaderText;
};

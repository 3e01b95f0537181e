// Renderer: creates and owns the window's OpenGL context, the state every
// drawing path shares (matrices, current program, white texture, text
// program), and draws scene nodes and text strings.
#include "render/Renderer.h"

#include <cassert>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "core/Logger.h"
#include "gpu/GLFunctions.h"
#include "gpu/GLLoader.h"
#include "gpu/Texture.h"
#include "gpu/Window.h"
#include "scene/Mesh.h"
#include "scene/SceneGraphNode.h"
#include "text/DynamicText.h"
#include "text/FontAtlas.h"

namespace {

const char* kTag = "Renderer";
// One opaque white RGBA texel: sampling it leaves a material's colour unchanged.
const uint8_t kWhitePixel[4] = {0xFF, 0xFF, 0xFF, 0xFF};

const char* GLText(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "(unknown)";
}

} // namespace

Renderer::Renderer(Window* window)
    : mWindow(window), mContext(nullptr), mWhiteTexture(0), mViewMatrix(1.0f),
      mProjectionMatrix(1.0f), mCurrentShader(nullptr) {}

Renderer::~Renderer() {
    // Without a context there is nothing to delete and no GL call may be made.
    if (!mContext)
        return;
    // The program must go while its context is current; the white texture
    // goes with the context.
    SDL_GL_MakeCurrent(mWindow->mSDLWindow, mContext);
    DestroyShaderProgram(mShaderText);
    SDL_GL_DeleteContext(mContext);
    mContext = nullptr;
}

int Renderer::Init() {
    assert(mWindow && mWindow->mSDLWindow && "the window must exist before its context");
    mContext = SDL_GL_CreateContext(mWindow->mSDLWindow);
    if (!mContext) {
        LogMessage(LOG_ERROR, kTag, "Unable to create OpenGL context: %s", SDL_GetError());
        return -1;
    }
    const char* missing = nullptr;
    if (LoadGLFunctions(&missing) != 0) {
        LogMessage(LOG_ERROR, kTag, "Failed to load OpenGL");
        LogMessage(LOG_ERROR, kTag, "Missing OpenGL function: %s", missing ? missing : "?");
        return -1;
    }
    LogMessage(LOG_INFO, kTag, "OpenGL context initialized");
    LogMessage(LOG_INFO, kTag, "Vendor:   %s", GLText(GL_VENDOR));
    LogMessage(LOG_INFO, kTag, "Renderer: %s", GLText(GL_RENDERER));
    LogMessage(LOG_INFO, kTag, "Version:  %s", GLText(GL_VERSION));

    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(mWindow->mSDLWindow, &width, &height);
    glViewport(0, 0, width, height);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    glGenTextures(1, &mWhiteTexture);
    glBindTexture(GL_TEXTURE_2D, mWhiteTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, kWhitePixel);

    return LoadShaderPrograms({TextProgram()});
}

const char* Renderer::DeviceName() const {
    return GLText(GL_RENDERER);
}

void Renderer::WaitIdle() const {
    glFinish();
}

void Renderer::SetViewMatrix(const glm::mat4& m) {
    mViewMatrix = m;
    if (!mCurrentShader)
        return;
    glUseProgram(mCurrentShader->program);
    glUniformMatrix4fv(mCurrentShader->viewMatrix, 1, GL_FALSE, glm::value_ptr(mViewMatrix));
}

void Renderer::SetProjectionMatrix(const glm::mat4& m) {
    mProjectionMatrix = m;
    if (!mCurrentShader)
        return;
    glUseProgram(mCurrentShader->program);
    glUniformMatrix4fv(mCurrentShader->projMatrix, 1, GL_FALSE, glm::value_ptr(mProjectionMatrix));
}

void Renderer::UseShader(ShaderProgram* shader) {
    assert(shader && "a draw needs a program to be current");
    mCurrentShader = shader;
    glUseProgram(shader->program);
}

void Renderer::DrawNode(SceneGraphNode* node) {
    if (node->mMesh) {
        assert(mCurrentShader && "UseShader must pick the scene program before drawing");
        const Texture* diffuse = node->mTextures.empty() ? nullptr : node->mTextures[0];
        uint32_t texture = diffuse && diffuse->mId != 0 ? diffuse->mId : mWhiteTexture;
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture);

        // The scale is applied first, in the node's own frame.
        glm::mat4 model = node->mWorldTransform * glm::scale(glm::mat4(1.0f), node->mScale);
        glUseProgram(mCurrentShader->program);
        glUniformMatrix4fv(mCurrentShader->modelMatrix, 1, GL_FALSE, glm::value_ptr(model));
        glUniform1i(mCurrentShader->texDiffuse, 0);
        node->mMesh->Draw();
    }
    for (SceneGraphNode& child : node->mChildren)
        DrawNode(&child);
}

void Renderer::Clear() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void Renderer::DrawText(DynamicText* text, int x, int y, const glm::vec4& color) {
    if (!text->mFontAtlas)
        return;
    glm::mat4 model = glm::translate(glm::mat4(1.0f), glm::vec3(float(x), float(y), 0.0f));
    // Window pixels with the origin at the top-left corner and y growing down.
    glm::mat4 projection =
        glm::ortho(0.0f, float(mWindow->mWidth), float(mWindow->mHeight), 0.0f, 0.0f, 1.0f);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, text->mFontAtlas->mId);

    glUseProgram(mShaderText.program);
    glUniform1i(mShaderText.texFontAtlas, 0);
    glUniform4fv(mShaderText.textColor, 1, glm::value_ptr(color));
    glUniformMatrix4fv(mShaderText.modelMatrix, 1, GL_FALSE, glm::value_ptr(model));
    glUniformMatrix4fv(mShaderText.projMatrix, 1, GL_FALSE, glm::value_ptr(projection));

    if (text->mVao != 0) {
        glBindVertexArray(text->mVao);
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(text->mNumVertices));
        glBindVertexArray(0);
    }
    // Text never changes which program the following draws use.
    if (mCurrentShader)
        glUseProgram(mCurrentShader->program);
}

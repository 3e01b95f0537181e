// AppStart: the demo's start-up steps for an arbitrary model, in the order
// Vesperon::Init runs them, each optionally under a stopwatch.
#include "common/AppStart.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <SDL2/SDL.h>
#include <glm/gtc/matrix_transform.hpp>

#include "core/Logger.h"
#include "demo/Vesperon.h"
#include "gpu/Texture.h"
#include "scene/ModelLoader.h"
#include "scene/SDLIOSystem.h"
#include "ssao/Umbrelix.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The loader's rule for a texture path stored in a material: as stored when
// that file exists, else relative to the model's folder with '\' read as '/'.
std::string TexturePath(const std::string& modelPath, const char* stored,
                        const SDLIOSystem& files) {
    if (files.Exists(stored))
        return stored;
    std::string relative(stored);
    for (char& c : relative)
        c = c == '\\' ? '/' : c;
    size_t slash = modelPath.find_last_of("/\\");
    if (relative.empty() || relative[0] == '/' || slash == std::string::npos)
        return stored;
    std::string candidate = modelPath.substr(0, slash + 1) + relative;
    return files.Exists(candidate.c_str()) ? candidate : std::string(stored);
}

// Parses and post-processes the model as the loader does, and lists the
// diffuse textures its materials name. False with *error when it can't be read.
bool ImportModel(const std::string& path, std::vector<std::string>* textures, std::string* error) {
    Assimp::Importer importer;
    importer.SetIOHandler(new SDLIOSystem()); // owned by the importer
    const aiScene* scene = importer.ReadFile(path, 0);
    if (scene)
        scene = importer.ApplyPostProcessing(kModelImportFlags);
    if (!scene) {
        *error = "cannot load model \"" + path + "\": " + importer.GetErrorString();
        return false;
    }
    if (scene->mNumMeshes == 0) {
        *error = "model \"" + path + "\" holds no triangle meshes";
        return false;
    }
    SDLIOSystem files;
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        aiString stored;
        if (aiGetMaterialTexture(scene->mMaterials[i], aiTextureType_DIFFUSE, 0, &stored) ==
            AI_SUCCESS)
            textures->push_back(TexturePath(path, stored.C_Str(), files));
    }
    return true;
}

// Decodes and uploads every texture once, then releases them again.
void LoadTexturesOnce(const std::vector<std::string>& paths) {
    std::unique_ptr<Texture[]> textures(new Texture[paths.size()]);
    for (size_t i = 0; i < paths.size(); ++i)
        LoadTexture(paths[i].c_str(), &textures[i]);
}

bool IsReadableFile(const std::string& path) {
    SDL_RWops* file = SDL_RWFromFile(path.c_str(), "rb");
    if (!file)
        return false;
    SDL_RWclose(file);
    return true;
}

int StartRenderer(Vesperon& app, std::string* error) {
    LogMessage(LOG_INFO, "Game", "Initialising rendering subsystem");
    Umbrelix* renderer = new Umbrelix(app.mWindow);
    app.mRenderer = renderer; // the engine's Shutdown releases it, also after a failure
    if (renderer->Init() != 0) {
        *error = "the renderer could not start (see the log)";
        return -1;
    }
    SDL_GL_SetSwapInterval(0);
    return 0;
}

int LoadPrograms(Vesperon& app, std::string* error) {
    if (LoadShaderProgram(app.mSceneProgram, "shaders/Scene.vert", "shaders/Scene.frag") != 0 ||
        LoadShaderProgram(app.mTextureProgram, "shaders/Texture.vert", "shaders/Texture.frag") !=
            0 ||
        LoadShaderProgram(app.mLightingProgram, "shaders/SSAO.vert", "shaders/Lighting.frag") !=
            0) {
        *error = "a shader program could not be built (see the log)";
        return -1;
    }
    return 0;
}

// Times the import and the textures on their own; also refuses a model the
// importer can't read before the demo's loader sees it.
int TimeImportAndTextures(const std::string& path, StartupTimes* times, std::string* error) {
    std::vector<std::string> textures;
    Clock::time_point start = Clock::now();
    if (!ImportModel(path, &textures, error))
        return -1;
    times->modelImportMs = MsSince(start);
    start = Clock::now();
    LoadTexturesOnce(textures);
    times->textureLoadMs = MsSince(start);
    times->textureCount = int(textures.size());
    return 0;
}

// What Vesperon::InitScene does after the programs: the model scaled into
// place, world transforms computed, the eye at its start.
int LoadScene(Vesperon& app, const std::string& path, std::string* error) {
    if (LoadModelFile(path.c_str(), app.mAllocator, &app.mSceneRoot, &app.mMeshes,
                      &app.mMaterialTextures) != 0) {
        *error = "cannot load model \"" + path + "\" (see the log)";
        return -1;
    }
    // Nothing to draw means nothing to measure: a tool would report empty frames.
    if (app.mSceneRoot.mChildren.empty()) {
        *error = "model \"" + path + "\" holds no triangle meshes";
        return -1;
    }
    app.mSceneRoot.mLocalTransform = glm::mat4(1.0f);
    app.mSceneRoot.SetScale(glm::vec3(kModelScale));
    app.mSceneRoot.Update();
    app.mCurrentPosition = app.mPreviousPosition = glm::vec3(0.0f, kEyeHeight, 0.0f);
    return 0;
}

} // namespace

int StartApp(Vesperon& app, const std::string& modelPath, StartupTimes* times, std::string* error) {
    if (!IsReadableFile(modelPath)) {
        *error = "cannot open model \"" + modelPath + "\": " + SDL_GetError();
        return -1;
    }
    StartupTimes local;
    StartupTimes* t = times ? times : &local;
    const Clock::time_point begin = Clock::now();
    Clock::time_point start = begin;
    if (app.Engine::Init(SUBSYSTEM_ALL & ~SUBSYSTEM_RENDERER) != 0) {
        *error = "the engine could not start (see the log)";
        return -1;
    }
    t->engineMs = MsSince(start);
    start = Clock::now();
    if (StartRenderer(app, error) != 0)
        return -1;
    t->rendererMs = MsSince(start);
    start = Clock::now();
    if (LoadPrograms(app, error) != 0)
        return -1;
    t->programsMs = MsSince(start);
    if (times && TimeImportAndTextures(modelPath, times, error) != 0)
        return -1;
    start = Clock::now();
    if (LoadScene(app, modelPath, error) != 0)
        return -1;
    t->modelLoadMs = MsSince(start);
    t->totalMs = MsSince(begin);
    return 0;
}

long PeakResidentKiB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    long kib = -1;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0 && std::sscanf(line + 6, "%ld", &kib) != 1)
            kib = -1;
    }
    std::fclose(status);
    return kib;
}

// RunningDemo: a fixture holding the real demo started as the program starts
// it (the generated scene, every subsystem, the main loop's set-up), ended
// as it ends. Tests drive its frames themselves.
#pragma once

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "engine/Engine.h"
#include "demo/Vesperon.h"

class RunningDemo : public ::testing::Test {
protected:
    void SetUp() override {
        SDL_RWops* scene = SDL_RWFromFile("models/sponza.obj", "rb");
        ASSERT_NE(scene, nullptr) << "the build generates models/";
        SDL_RWclose(scene);
        ASSERT_EQ(mApp.Init(SUBSYSTEM_ALL), 0);
        mApp.BeginRun();
    }
    void TearDown() override {
        mApp.EndRun();
        mApp.Shutdown();
    }

    Vesperon mApp;
};

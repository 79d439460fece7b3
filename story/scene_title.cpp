// Least-form title scene: draws the title picture each frame and waits.
#include "story/scene_title.h"

#include "game/loader.h"
#include "runtime/runtime.h"

SceneTitle::SceneTitle(std::shared_ptr<Loader> loader) : Scene(std::move(loader)) {}

SceneTitle::~SceneTitle() = default;

void SceneTitle::update() { draw(); }

void SceneTitle::loadResources(bool) {}

void SceneTitle::draw() { DrawGraphAt(0, 0, loader_->image(408), 0); }

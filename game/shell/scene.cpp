// The scene base and the controller's switch: release the old group, load the new one, then drop the old scene.
#include "game/shell/scene.h"

#include "game/shell/loader.h"
#include "story/scene_title.h"

int gameEndFlag = 0;

Scene::Scene(std::shared_ptr<Loader> loader) : loader_(std::move(loader)) {}

Scene::~Scene() {
    nextScene_.reset();
    loader_.reset();
}

std::shared_ptr<Scene> Scene::getNextScene() { return nextScene_; }

SceneController::SceneController() {
    createLoader();
    loader_->loadCommon(false);
    // The title loads nothing of its own, so its loadResources is not called.
    current_ = std::make_shared<SceneTitle>(loader_);
}

SceneController::~SceneController() {
    // The Loader first: the current scene's destructor may still reach the runtime through its own pointer.
    loader_.reset();
    injected_.reset();
    current_.reset();
}

void SceneController::createLoader() { loader_ = std::make_shared<Loader>(); }

int SceneController::update() {
    current_->update();
    std::shared_ptr<Scene> next = injected_ ? std::move(injected_) : current_->getNextScene();
    injected_.reset();
    if (next) {
        current_->loadResources(true);
        next->loadResources(false);
        current_ = std::move(next);
    }
    return gameEndFlag;
}

// The scene framework. Every screen is a Scene; the SceneController holds the current one and the one Loader,
// steps the scene once a frame and carries out the switch to the successor the scene offers.
//
// Use: a scene derives from Scene, draws itself at the end of update(), loads and releases its own resource group
// in loadResources(release), and offers its successor with setNextScene(). The controller then releases the old
// scene's group, loads the new scene's group and makes it current; the new scene's first update is the next frame.
// A scene ends the program in order by setting gameEndFlag to -1.
#pragma once

#include <memory>

class Loader;

// 0 while the game runs; -1 ends the frame loop after the frame's switch.
extern int gameEndFlag;

class Scene {
public:
    explicit Scene(std::shared_ptr<Loader> loader);
    virtual ~Scene();  // releases the next-scene pointer, then the Loader pointer

    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // One frame: steps, then calls draw() once.
    virtual void update() = 0;
    // false loads the scene's own group through the Loader, true releases it; empty for scenes that use only
    // the common group.
    virtual void loadResources(bool release) = 0;
    // The successor, or empty while the scene goes on.
    virtual std::shared_ptr<Scene> getNextScene();
    virtual void draw() = 0;

protected:
    void setNextScene(std::shared_ptr<Scene> next) { nextScene_ = std::move(next); }

    std::shared_ptr<Loader> loader_;
    std::shared_ptr<Scene> nextScene_;
};

class SceneController {
public:
    // Creates the Loader, loads the common group (with the loading screen) and makes the title scene current.
    SceneController();
    virtual ~SceneController();  // releases the Loader pointer, then the current scene

    SceneController(const SceneController&) = delete;
    SceneController& operator=(const SceneController&) = delete;

    // One frame: the current scene's update, then the switch when it offers a successor. Returns gameEndFlag.
    int update();
    void createLoader();

    const std::shared_ptr<Loader>& loader() const { return loader_; }
    const std::shared_ptr<Scene>& currentScene() const { return current_; }

    // Test seam: the next update takes `next` as the current scene's successor (in place of what the scene
    // offers), so a test starts any scene through the ordinary switch.
    void offerSuccessorForTest(std::shared_ptr<Scene> next) { injected_ = std::move(next); }

private:
    std::shared_ptr<Scene> current_;
    std::shared_ptr<Loader> loader_;
    std::shared_ptr<Scene> injected_;
};

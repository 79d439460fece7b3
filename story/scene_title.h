// The title scene in least form: it shows the title picture (image entry 408) and offers no successor. The title
// menu replaces this file with the full scene.
#pragma once

#include <memory>

#include "game/scene.h"

class SceneTitle : public Scene {
public:
    explicit SceneTitle(std::shared_ptr<Loader> loader);
    ~SceneTitle() override;

    void update() override;
    void loadResources(bool release) override;
    void draw() override;
};

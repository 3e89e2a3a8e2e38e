// Whether an object outlived a call out of it. A handler that calls into the
// effect, and through it the host, may see its window or editor ended there
// (a host may close the editor, or the instance, when it hears of a change).
// It takes a watch before the call and, if the watch has expired when the
// call returns, touches nothing of the object again.
#pragma once

#include <memory>

namespace ui {

class LifeToken {
public:
    LifeToken() = default;
    // A copy would share the original's life, not its owner's.
    LifeToken(const LifeToken&) = delete;
    LifeToken& operator=(const LifeToken&) = delete;

    // Expires when the token, a member of its owner, is destroyed.
    std::weak_ptr<const void> watch() const { return token; }

private:
    std::shared_ptr<const bool> token = std::make_shared<const bool>(true);
};

} // namespace ui

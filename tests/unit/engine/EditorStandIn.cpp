// The engine tests build the effect without the editor library: this editor
// only counts what the effect asks of it.
#include "TestSupport.h"

namespace enginetest {
std::atomic<int> editorUpdates{0};
std::atomic<int> editorsAlive{0};

namespace {
class CountingEditor : public AEffEditor {
public:
    explicit CountingEditor(AudioEffect* effect) : AEffEditor(effect) { ++editorsAlive; }
    ~CountingEditor() override { --editorsAlive; }
    void update() override { ++editorUpdates; }
};
} // namespace

std::unique_ptr<AEffEditor> makeCountingEditor(APlugin& effect) {
    return std::make_unique<CountingEditor>(&effect);
}
} // namespace enginetest

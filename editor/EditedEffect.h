// The effect as its editor window sees it, whatever the plug-in format: the
// seam between the window's logic and the engine it edits. Values reach the
// window the other way, through the block that the format's glue fills
// (TWindowValues). The VST 2 glue forwards these to the effect and its host;
// another format's glue to what that format offers.
#pragma once

class EditedEffect {
public:
    // A mouse gesture on parameter `index` starts or ends; the host records
    // automation in Touch and Latch modes in between.
    virtual void beginEdit(int index) = 0;
    virtual void endEdit(int index) = 0;
    // A value the user set on a control: the effect takes it, then the host
    // hears of it as automation.
    virtual void setParameterAutomated(int index, float value) = 0;
    // Whether the effect has asked, since the last call, for every control to
    // be repainted (a program was loaded); asking again clears it.
    virtual bool takeRefreshRequest() = 0;

protected:
    ~EditedEffect() = default;
};

// The effect's editor glue.
#pragma once

#include "frame/DAudioEffect.h"

class APlugin;

class APluginEditor : public AEffEditor {
public:
    explicit APluginEditor(APlugin* effect);
};

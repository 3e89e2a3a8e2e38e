#include "editor/APluginEditor.h"

#include "plugin/uPlugin.h"

APluginEditor::APluginEditor(APlugin* effect) : AEffEditor(effect) {}

AEffEditor* createPluginEditor(APlugin* effect) { return new APluginEditor(effect); }

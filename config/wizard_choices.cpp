#include "config/wizard_choices.h"

WizardChoicesRecord WizardChoices = {0, nullptr, nullptr, false, nullptr, nullptr, nullptr,
                                     false, 1, 0, {}, nullptr};

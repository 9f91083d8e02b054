// The Options sheet's page base: its meta-object (the edited() signal) is generated with this file.
#include "app/dialogs/options_page.h"

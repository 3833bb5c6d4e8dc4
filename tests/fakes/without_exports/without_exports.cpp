// A sibling double that is loaded under a sibling's file name but has none
// of its exports: only the control exports of every double.
#include "tests/fakes/core/fake_core.h"

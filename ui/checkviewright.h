// The rights check: may the signed-on user look at the view object named in a host record?
// A pure function over the record's bytes; the options dialog calls it on a candidate copy
// of DllParams before storing a choice.
#pragma once

#include "plugin/dllparams.h"

// True when the record's rights string allows its view object and operation type.
bool CheckViewRight(const TDllParams& params);

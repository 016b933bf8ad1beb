// A small server that the whole start-up can run against: company settings, departments,
// the financial years and a statistics procedure with a few rows; and the host record that
// points at it, as the host would fill it.
#pragma once

#include "plugin/dllparams.h"
#include "serverfixture.h"

#include <string>

namespace startuptest {

inline constexpr const char* kBusiness = "Calvesteri";
inline constexpr const char* kKernel = "Miskernel";
inline constexpr const char* kDict = "Pubdict";

class StartUpServer {
public:
    StartUpServer();
    // The record a host would send: its own login, which the start-up replaces.
    TDllParams record() const;
    // Rows the statistics procedure answers.
    int rowCount() const { return 3; }
    testsupport::TempServer server;
};

}  // namespace startuptest

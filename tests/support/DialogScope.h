#pragma once
// ScriptedDialogs for one test: installed while the scope lives; when it ends, any dialog asked
// for with nothing queued and any message the test did not take fails the current test.
// Every GUI test holds one, usually as a std::optional member set in init() and reset in
// cleanup().

#include "support/ScriptedDialogs.h"

class DialogScope : public ScriptedDialogs
{
public:
    DialogScope() = default;
    ~DialogScope() override;
};

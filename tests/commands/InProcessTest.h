#pragma once
// A program whose one source yields stores in memory, over a scratch registry:
// Outlook 2010 found, nothing read yet.

#include "FakeStores.h"
#include "ScriptedUi.h"

#include "base/WaitLimit.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <optional>

class InProcessTest : public testing::Test {
protected:
    void SetUp() override
    {
        scratch_.emplace();
        state_.Sources = {&source_};
        state_.OutlookMajorVersion = "14";
        state_.OutlookVersion = L"14.0.7015.1000";
    }
    void TearDown() override
    {
        SetWaitLimitSeconds(kDefaultWaitSeconds);
        state_.Stores.clear();
        scratch_.reset();
    }

    std::optional<ScratchHkcu> scratch_;
    TFakeSource source_;
    TProgramState state_;
    ScriptedUi ui_;
};

#pragma once

#include "Options.h"
#include "UpdateSdk.h"

namespace UpdateSdkStandIn
{

// The update interface handed out by BKUpdSdkCreate. No exception leaves a call: every
// failure is its Result code.
class UpdateService final : public BKUpdateServiceInterface
{
public:
    int SetOption(int option, void* value) override;
    int Update() override;
    int Install() override;

private:
    Options options;
};

} // namespace UpdateSdkStandIn

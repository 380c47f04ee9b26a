#pragma once

#include "Options.h"
#include "Staging.h"
#include "UpdateSdk.h"

#include <memory>

namespace UpdateSdkStandIn
{

// The update interface handed out by BKUpdSdkCreate. No exception leaves a call: every
// failure is its Result code. It holds the staging folder from the start of an Update that
// stages a set to the end of the Install that follows, so that no other update of the same
// local path clears or installs the staged set in between; otherwise each call holds it while
// it runs.
class UpdateService final : public BKUpdateServiceInterface
{
public:
    int SetOption(int option, void* value) override;
    int Update() override;
    int Install() override;

private:
    Options options;
    // Of options.localPath; null until it is set.
    std::unique_ptr<Staging> staging;
};

} // namespace UpdateSdkStandIn

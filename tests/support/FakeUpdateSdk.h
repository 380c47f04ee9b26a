#pragma once

#include <boost/filesystem/path.hpp>

#include <string>

namespace TestSupport
{

// Steers the fake update SDK (tests/fixtures/FakeUpdateSdk, in the test folder as
// BKUpdateServiceCom.dll) for as long as the object lives: no scripted events to begin with.
// Its calls and results go through a TestSupport::RecordingEngine.
class FakeUpdateSdk
{
public:
    FakeUpdateSdk();
    ~FakeUpdateSdk();
    FakeUpdateSdk(const FakeUpdateSdk&) = delete;
    FakeUpdateSdk& operator=(const FakeUpdateSdk&) = delete;

    // "event[=value];..." raised in order during Update.
    void SetEvents(const std::wstring& script);

    // The module's path in the test folder.
    static boost::filesystem::path Module();
};

// Puts another module in the fake's place in the test folder until the object goes: a variant
// of it ("NoCreate", "NoDestroy"), or nothing at all for an empty name.
class ReplacedUpdateSdk
{
public:
    explicit ReplacedUpdateSdk(const std::wstring& variant);
    ~ReplacedUpdateSdk();
    ReplacedUpdateSdk(const ReplacedUpdateSdk&) = delete;
    ReplacedUpdateSdk& operator=(const ReplacedUpdateSdk&) = delete;

private:
    boost::filesystem::path aside;
};

} // namespace TestSupport

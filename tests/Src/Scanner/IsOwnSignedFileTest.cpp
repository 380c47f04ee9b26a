// Against the Authenticode test files of tests/fixtures/SignedFiles (Wine trusts their roots).
#include "Scanner/IsOwnSignedFile.h"

#include "ProcessHelper/ProcessHelper.h"

#include <gtest/gtest.h>

using BriskenCommandLineScanner::IsOwnSignedFile;

namespace
{

struct SignedCase
{
    const char* file;
    bool own;
};

class IsOwnSignedFileTest : public testing::TestWithParam<SignedCase>
{
};

TEST_P(IsOwnSignedFileTest, AnswersYesOnlyForTheMakersTrustedSignature)
{
    const boost::filesystem::path file = ProcessHelper::Process::Path().parent_path() / "signed" / GetParam().file;
    EXPECT_EQ(IsOwnSignedFile(file), GetParam().own) << file.string();
}

INSTANTIATE_TEST_SUITE_P(Files, IsOwnSignedFileTest,
    testing::Values(SignedCase{"TinyModule-signed.dll", true},
        SignedCase{"TinyModule-unsigned.dll", false},
        SignedCase{"TinyModule-tampered.dll", false},
        SignedCase{"TinyModule-signed-other.dll", false},
        SignedCase{"TinyModule-signed-noname.dll", false},
        SignedCase{"TinyModule-signed-upper.dll", true},
        SignedCase{"TinyModule-signed-longer.dll", false},
        SignedCase{"TinyModule-signed-padded.dll", false}, // bytes hidden in its certificate table
        SignedCase{"missing.dll", false}));

} // namespace

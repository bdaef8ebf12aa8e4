// The fixture every end-to-end test starts from.
#include "fixture.h"

#include <iostream>

namespace e2e
{

namespace fs = std::filesystem;

namespace
{

const char* const kProgramTexts[] = {
    "Initializing SDL",  "Audio & Video",     "Could not initialize SDL",
    "Select desired",    "640 x 480",         "800 x 600",
    "1024 x 768",        "ERROR:",            "Quiting",
};

}

void expectNoProgramTextIn(const std::string& err)
{
    for (const char* text : kProgramTexts)
        EXPECT_EQ(err.find(text), std::string::npos) << "\"" << text << "\" on standard error:\n"
                                                     << err;
}

void ProgramTest::TearDown()
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    if (!HasFailure())
    {
        // A screenshot from an earlier failure would only mislead.
        std::error_code ignored;
        fs::remove(artifactDir() / (name + ".png"), ignored);
        return;
    }
    if (!mSession)
        return;
    fs::path saved = mSession->saveLastGrab(name);
    if (!saved.empty())
        std::cout << "last screenshot of the window: " << saved.string() << std::endl;
}

void ProgramTest::copyProjectData()
{
    fs::copy(projectData(), workdir(), fs::copy_options::recursive);
}

Session& ProgramTest::start(const RunOptions& options)
{
    mSession = std::make_unique<Session>(workdir(), options);
    return *mSession;
}

testing::AssertionResult ProgramTest::waitForBackgroundTopRow()
{
    Picture bg = Picture::loadBmp(workdir() / "bg.bmp");
    if (bg.empty())
        return testing::AssertionFailure() << "the working directory holds no readable bg.bmp";
    Picture topRow = bg.crop(0, 0, kWindowWidth, 1);
    return mSession->waitForPicture(
        [&](const Picture& shot) { return shot.crop(0, 0, kWindowWidth, 1) == topRow; });
}

void ProgramTest::expectCleanEndAfterEscape()
{
    mSession->key("Escape");
    Outcome result = mSession->program().wait(kExitTimeout);
    EXPECT_EQ(result.status, 0) << "the program " << result;
    EXPECT_EQ(mSession->program().output(), kStartText);
    expectNoProgramTextIn(mSession->program().errors());
}

}

#include "ui/FormSplash.h"

#include "app/Stages.h"
#include "platform/Hooks.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TestHooks.h"
#include "ui/Unit1.h"

#include <QCoreApplication>
#include <QLabel>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace {

enum class Step { Alpha, Wait, Stage, Show };

struct Event {
    Step Kind;
    uint32_t Time;
    int Alpha = 0;
    std::string Text = {};
};

// A splash on a clock of its own: each round of a waiting loop moves the
// clock on, so the whole start-up runs at once and every step has a time.
class ScriptedSplash : public TSplashForm {
public:
    ScriptedSplash(TStartupStages stages, uint32_t start, std::vector<uint32_t> steps,
                   std::shared_ptr<uint32_t> now = std::make_shared<uint32_t>())
        : TSplashForm(std::move(stages), [now] { return *now; }), Now(now), Steps(std::move(steps))
    {
        *Now = start;
    }

    std::shared_ptr<uint32_t> Now;
    std::vector<Event> Log;

    std::vector<int> Alphas(Step after) const
    {
        std::vector<int> values;
        bool seen = after == Step::Alpha;
        for (const Event &e : Log) {
            seen = seen || e.Kind == after;
            if (seen && e.Kind == Step::Alpha)
                values.push_back(e.Alpha);
        }
        return values;
    }
    const Event *Find(Step kind, bool last = false) const
    {
        const Event *found = nullptr;
        for (const Event &e : Log)
            if (e.Kind == kind && (!found || last))
                found = &e;
        return found;
    }

protected:
    void SetAlpha(int alpha) override
    {
        TSplashForm::SetAlpha(alpha);
        Log.push_back({Step::Alpha, *Now, alpha});
    }
    void ProcessMessages() override {}
    void WaitABit() override
    {
        Log.push_back({Step::Wait, *Now});
        *Now += Steps[Waits++ % Steps.size()];
    }
    void ShowMainWindow() override { Log.push_back({Step::Show, *Now}); }

private:
    std::vector<uint32_t> Steps;
    size_t Waits = 0;
};

const char *const Texts[] = {"Erstelle Anwendungsverwaltung...",
                             "Initialisiere Player...",
                             "Lade Audiobibilothek...",
                             "Initialisiere BASS...",
                             "Erstelle Fenster...",
                             "Starte Klangdeck..."};

// Six stages under the program's texts; each logs the status text on show
// and takes cost milliseconds of the splash's clock.
TStartupStages LoggingStages(ScriptedSplash *&splash, uint32_t cost, int failing = 0)
{
    TStartupStages stages;
    for (int i = 0; i < 6; ++i)
        stages.push_back({Texts[i], [&splash, cost, failing, i] {
                              splash->Log.push_back(
                                  {Step::Stage, *splash->Now, 0, splash->StatusLbl->text().toStdString()});
                              EXPECT_TRUE(splash->StatusLbl->isVisibleTo(splash));
                              *splash->Now += cost;
                              if (i + 1 == failing)
                                  throw std::runtime_error("Datei kaputt");
                          }});
    return stages;
}

std::vector<std::string> StageTexts(const ScriptedSplash &splash)
{
    std::vector<std::string> texts;
    for (const Event &e : splash.Log)
        if (e.Kind == Step::Stage)
            texts.push_back(e.Text);
    return texts;
}

class SplashTest : public ::testing::Test {
protected:
    std::unique_ptr<ScriptedSplash> Run(uint32_t start, std::vector<uint32_t> steps, uint32_t cost,
                                        int failing = 0)
    {
        auto splash =
            std::make_unique<ScriptedSplash>(LoggingStages(Current, cost, failing), start, std::move(steps));
        Current = splash.get();
        splash->show();
        splash->TimerTimer();
        return splash;
    }
    testing_hooks::TestMainThread Hooks;
    ScriptedSplash *Current = nullptr;
};

TEST(SplashStages, TheProgramsStagesHaveTheirTextsInOrderAndOnlyTheLastIsEmpty)
{
    TStartupStages stages = MakeStartupStages();
    ASSERT_EQ(stages.size(), 6u);
    for (size_t i = 0; i < stages.size(); ++i) {
        EXPECT_EQ(stages[i].Text, Texts[i]);
        EXPECT_EQ(bool(stages[i].Work), i < 5) << i;
    }
}

TEST_F(SplashTest, StartsTransparentAndHiddenStatusWithoutTaskbarEntry)
{
    ScriptedSplash splash({}, 0, {1});
    EXPECT_EQ(splash.windowOpacity(), 0.0);
    EXPECT_EQ(splash.size(), QSize(432, 213));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(splash.windowFlags() & Qt::WindowType_Mask, Qt::SplashScreen);
    EXPECT_FALSE(splash.StatusLbl->isVisibleTo(&splash));
    EXPECT_EQ(splash.StatusLbl->geometry().topLeft(), QPoint(96, 192));
    EXPECT_EQ(splash.StatusLbl->font().pixelSize(), 11);
    EXPECT_EQ(splash.StatusLbl->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(splash.Timer->interval(), 1);
}

TEST_F(SplashTest, QuickStagesRunInOrderThenHoldFadeAndClose)
{
    auto splash = Run(1000, {7}, 0);
    EXPECT_FALSE(splash->Timer->isActive());
    EXPECT_EQ(StageTexts(*splash), std::vector<std::string>(std::begin(Texts), std::end(Texts)));

    // Fade-in: rising alphas of round(elapsed * 255 / 170), then 255.
    std::vector<int> fadeIn;
    for (const Event &e : splash->Log) {
        if (e.Kind == Step::Stage)
            break;
        if (e.Kind == Step::Alpha)
            fadeIn.push_back(e.Alpha);
    }
    ASSERT_EQ(fadeIn.size(), 26u); // 0, 7, ..., 168, then the final 255
    EXPECT_EQ(fadeIn[0], 0);
    EXPECT_EQ(fadeIn[1], 11); // 7 * 1.5 = 10.5
    EXPECT_EQ(fadeIn[24], 252);
    EXPECT_EQ(fadeIn.back(), 255);

    const Event *opaque = &splash->Log[0];
    for (const Event &e : splash->Log)
        if (e.Kind == Step::Alpha && e.Alpha == 255) {
            opaque = &e;
            break;
        }
    const Event *show = splash->Find(Step::Show);
    ASSERT_NE(show, nullptr);
    EXPECT_GE(show->Time - opaque->Time, 800u);
    EXPECT_LT(show->Time - opaque->Time, 807u);

    // Fade-out: falling alphas, no final 0, then closed.
    std::vector<int> fadeOut = splash->Alphas(Step::Show);
    ASSERT_EQ(fadeOut.size(), 25u);
    EXPECT_EQ(fadeOut.front(), 255);
    EXPECT_EQ(fadeOut.back(), 3); // 255 - round(168 * 1.5)
    EXPECT_TRUE(std::is_sorted(fadeOut.rbegin(), fadeOut.rend()));
    EXPECT_NEAR(splash->windowOpacity(), 3 / 255.0, 0.01);
    EXPECT_FALSE(splash->isVisible());
    EXPECT_TRUE(Hooks.Boxes().empty());
    EXPECT_FALSE(platform::TerminateRequested());
}

TEST_F(SplashTest, AlphaStaysWithinRangeWhenTicksArriveLateOrTheCounterWraps)
{
    auto splash = Run(0xFFFFFF80u, {1, 60, 108, 3, 169, 2}, 5);
    const Event *show = splash->Find(Step::Show);
    ASSERT_NE(show, nullptr);
    for (const Event &e : splash->Log)
        if (e.Kind == Step::Alpha) {
            EXPECT_GE(e.Alpha, 0);
            EXPECT_LE(e.Alpha, 255);
        }
    // Across the wrap the hold still lasts 800 ms from the end of the fade-in.
    const Event *firstStage = splash->Find(Step::Stage);
    ASSERT_NE(firstStage, nullptr);
    EXPECT_GE(uint32_t(show->Time - firstStage->Time), 800u);
    EXPECT_LT(uint32_t(show->Time - firstStage->Time), 800u + 169u);
    EXPECT_EQ(StageTexts(*splash).size(), 6u);
}

TEST_F(SplashTest, SlowStagesShowEachTextAndAddNoWaitAfterTheLast)
{
    auto splash = Run(0, {4}, 2000);
    EXPECT_EQ(StageTexts(*splash).size(), 6u);
    const Event *lastStage = splash->Find(Step::Stage, true);
    const Event *show = splash->Find(Step::Show);
    ASSERT_TRUE(lastStage && show);
    EXPECT_EQ(show->Time, lastStage->Time + 2000);
    bool waitedBetween = false, afterLast = false;
    for (const Event &e : splash->Log) {
        if (&e == lastStage)
            afterLast = true;
        else if (&e == show)
            break;
        else if (afterLast && e.Kind == Step::Wait)
            waitedBetween = true;
    }
    EXPECT_FALSE(waitedBetween);
    EXPECT_FALSE(splash->Alphas(Step::Show).empty());
}

TEST_F(SplashTest, AnErrorStopsTheStagesShowsTheBoxAndEndsAfterTheSplash)
{
    auto splash = Run(0, {3}, 1, 3);
    EXPECT_EQ(StageTexts(*splash), (std::vector<std::string>{Texts[0], Texts[1], Texts[2]}));
    auto boxes = Hooks.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Fehler beim Initialisieren");
    EXPECT_EQ(boxes[0].text, "Beim Initialisieren der Anwendung trat ein Fehler auf. Das Programm wird "
                             "beendet.\x0d\x0d"
                             "Datei kaputt");
    EXPECT_TRUE(platform::TerminateRequested());
    // The sequence goes on: the hold from the end of the fade-in, the main
    // window, the fade-out and the close.
    const Event *show = splash->Find(Step::Show);
    const Event *firstStage = splash->Find(Step::Stage);
    ASSERT_TRUE(show && firstStage);
    EXPECT_GE(show->Time - firstStage->Time, 800u);
    EXPECT_EQ(splash->Alphas(Step::Show).size(), 57u); // 0, 3, ..., 168
    EXPECT_FALSE(splash->isVisible());
}

TEST_F(SplashTest, AnErrorWithoutAMessageStillEndsTheStart)
{
    ScriptedSplash *splash = nullptr;
    TStartupStages stages = {
        {"eins", [] {}}, {"zwei", [] { throw 42; }}, {"drei", [&] { splash = nullptr; }}};
    ScriptedSplash form(stages, 0, {10});
    splash = &form;
    form.TimerTimer();
    EXPECT_EQ(splash, &form);
    ASSERT_EQ(Hooks.Boxes().size(), 1u);
    EXPECT_EQ(Hooks.Boxes()[0].text.rfind(std::string(TSplashForm::ErrorText) + "\r\r", 0), 0u);
    EXPECT_TRUE(platform::TerminateRequested());
}

// The real waiting loops on the real clock: the timings hold and waiting
// leaves the processor mostly idle.
TEST_F(SplashTest, ModalRunKeepsItsTimingsWithoutSpinning)
{
    Form1 = new TForm1;
    std::vector<std::string> seen;
    TStartupStages stages;
    for (const char *text : Texts)
        stages.push_back({text, [&seen] { seen.push_back(SplashForm->StatusLbl->text().toStdString()); }});
    SplashForm = new TSplashForm(stages);

    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = fixtures::ProcessCpuSeconds();
    SplashForm->exec();
    const double cpu = fixtures::ProcessCpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

    EXPECT_EQ(seen, std::vector<std::string>(std::begin(Texts), std::end(Texts)));
    // Never sooner than the stages' times; a busy machine only makes it later.
    EXPECT_GE(wall, 1.13);
    EXPECT_LT(cpu, 0.5 * wall) << "cpu " << cpu << " s of " << wall << " s";
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_FALSE(SplashForm->isVisible());
    EXPECT_GT(SplashForm->Alpha(), 0);
    EXPECT_LT(SplashForm->Alpha(), 255);

    delete SplashForm;
    SplashForm = nullptr;
    delete Form1;
    Form1 = nullptr;
}

// Showing a splash-screen window handles pending events before the modal
// loop exists; a start-up that ran then would close the window too early to
// end that loop.
TEST_F(SplashTest, ModalRunEndsWhenTheWindowWasSlowToShow)
{
    SplashForm = new TSplashForm(TStartupStages{{"eins", {}}});
    QThread::msleep(5);
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(5000);
    SplashForm->exec();
    EXPECT_FALSE(timedOut);
    EXPECT_FALSE(SplashForm->isVisible());
    delete SplashForm;
    SplashForm = nullptr;
}

} // namespace

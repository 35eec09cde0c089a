#include "library/AudioLibraryExt.h"
#include "playback/PlayerExt.h"
#include "tests/support/Fixtures.h"
#include "tests/support/QtWindowFixture.h"
#include "ui/ImageButton.h"
#include "ui/TrackBar.h"
#include "ui/Unit1.h"
#include "ui/VirtualTree.h"

#include <QAccessible>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const QKeySequence CtrlEnter(Qt::CTRL | Qt::Key_Return);
// Ctrl with the keypad's Enter, as the keyboard reports it.
const QKeySequence CtrlKeypadEnter(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Enter));
// The shortcuts of the shown one of play and pause: Ctrl with either Enter key.
const char *const CtrlEitherEnter = "Ctrl+Return, Ctrl+Enter";

std::string Shortcuts(const QAction *item)
{
    QStringList texts;
    for (const QKeySequence &key : item->shortcuts())
        texts << key.toString(QKeySequence::PortableText);
    return texts.join(QStringLiteral(", ")).toStdString();
}

class Transport : public QtWindowFixture {
protected:
    void SetUp() override
    {
        QtWindowFixture::SetUp();
        // The receivers stay the window's; the test only counts on top.
        auto ends = Player->OnTrackEnd;
        Player->OnTrackEnd = [this, ends](TKlangdeck *sender) {
            ++TrackEnds;
            ends(sender);
        };
        Form->MouseButtonsNow = [this] { return Held; };
    }

    // Fills the player's list with the fixtures and loads entry index.
    void Load(std::initializer_list<const char *> names, int index)
    {
        Player->Playlist->Clear();
        for (const char *name : names)
            Player->Playlist->Add(fixtures::Path(name));
        Player->LoadTrack(index);
        ASSERT_EQ(Player->State(), psStopped);
    }
    void Play(std::initializer_list<const char *> names, int index)
    {
        Load(names, index);
        Player->Play();
        ASSERT_EQ(Player->State(), psPlaying);
    }
    // Not sought: the track has played no more than the time since it began.
    static bool NotSought(const fixtures::Stopwatch &sincePlay)
    {
        return Player->Position() * Player->Duration <= sincePlay.Seconds() + fixtures::kNoSoundAhead;
    }
    // The window's list showing dir with the fixtures copied in under the given names.
    TVirtualTree *ShowFolder(fixtures::TempDir &dir,
                             std::initializer_list<std::pair<const char *, const char *>> copies)
    {
        for (auto [fixture, name] : copies)
            dir.Copy(fixture, name);
        Form->ViewPlaylist->LoadFolder(dir.path());
        EXPECT_EQ(Form->ListView->ChildCount(nullptr), int(copies.size()));
        return Form->ListView;
    }
    static std::string Current() { return Player->FileName; }
    static std::string File(const char *name) { return fixtures::Path(name); }
    void Key(const QKeySequence &key)
    {
        QTest::keyClick(Form, Qt::Key(key[0].key()), key[0].keyboardModifiers());
    }

    // Where a bar-relative x lands in the bar widget's own coordinates.
    QPoint BarPoint(int x) const { return QPoint(x + TTrackBar::kBorder, 8); }
    int KnobLeft() const { return Form->TrackBar->KnobLeft(); }
    int Travel() const { return Form->KnobTravel(); }
    QString Time() const { return Form->TimeLbl->text(); }
    bool TimerOn() const { return Form->PlayingTimer->isActive(); }

    int TrackEnds = 0;
    Qt::MouseButtons Held = Qt::LeftButton;
};

// Enabled, visible and shortcut states of one moment.
struct Controls {
    bool Play, Pause, Stop, Back, Next;
};

void ExpectControls(TForm1 *form, Controls c)
{
    EXPECT_EQ(form->PlayBtn->isEnabled(), c.Play);
    EXPECT_EQ(form->PauseBtn->isEnabled(), c.Pause);
    EXPECT_EQ(form->StopBtn->isEnabled(), c.Stop);
    EXPECT_EQ(form->BackBtn->isEnabled(), c.Back);
    EXPECT_EQ(form->NextBtn->isEnabled(), c.Next);
    // Qt disables a hidden item; of play and pause one is always hidden.
    EXPECT_EQ(form->PlayItem->isEnabled(), c.Play && form->PlayItem->isVisible());
    EXPECT_EQ(form->PauseItem->isEnabled(), c.Pause && form->PauseItem->isVisible());
    EXPECT_EQ(form->StopItem->isEnabled(), c.Stop);
    EXPECT_EQ(form->BackItem->isEnabled(), c.Back);
    EXPECT_EQ(form->NextItem->isEnabled(), c.Next);
}

// Which of play and pause is shown, in the panel and in the menu, and which
// item carries Ctrl+Enter.
void ExpectPauseShown(TForm1 *form, bool pause)
{
    EXPECT_EQ(form->PauseBtn->isVisible(), pause);
    EXPECT_EQ(form->PlayBtn->isVisible(), !pause);
    EXPECT_EQ(form->PauseItem->isVisible(), pause);
    EXPECT_EQ(form->PlayItem->isVisible(), !pause);
    EXPECT_EQ(Shortcuts(form->PauseItem), pause ? CtrlEitherEnter : "");
    EXPECT_EQ(Shortcuts(form->PlayItem), pause ? "" : CtrlEitherEnter);
}

TEST_F(Transport, NothingOpenLeavesOnlyTheMenusModesAndLabels)
{
    ExpectControls(Form, {false, false, false, false, false});
    ExpectPauseShown(Form, false);
    EXPECT_EQ(Time(), QStringLiteral("00:00"));
    EXPECT_EQ(Form->TitleLbl->text(), QString());
    EXPECT_FALSE(TimerOn());
    // The "1 ms" timer ticks at the system's shortest timer interval.
    EXPECT_EQ(Form->PlayingTimer->interval(), 10);
    EXPECT_EQ(KnobLeft(), 0);
    // Ctrl+Enter on the disabled item does nothing.
    Key(CtrlEnter);
    EXPECT_EQ(Player->State(), psNone);
}

TEST_F(Transport, WithNothingOpenPlayStartsTheFocusedRowOfTheList)
{
    fixtures::TempDir dir;
    TVirtualTree *list = ShowFolder(dir, {{"short-0.3s.wav", "a.wav"}, {"tone-44100-4s.ogg", "b.ogg"}});
    ASSERT_FALSE(HasFailure());
    TVirtualNode *row = list->NextSibling(list->FirstChild(nullptr));
    list->SelectNode(row, true);
    ProcessEvents();
    EXPECT_TRUE(Form->PlayBtn->isEnabled());
    EXPECT_TRUE(Form->PlayItem->isEnabled());
    Key(CtrlEnter);
    EXPECT_EQ(Player->State(), psPlaying);
    EXPECT_EQ(Current(), list->GetNodeData<TListRowData>(row)->FileName);
    EXPECT_EQ(Player->Playlist->Count(), 2);
}

TEST_F(Transport, PlayingPausedAndStoppedEnableTheirControls)
{
    Load({"short-0.3s.wav", "tone-44100-4s.ogg", "short-0.3s-b.wav"}, 1);
    ExpectControls(Form, {true, false, false, true, true});
    ExpectPauseShown(Form, false);
    EXPECT_EQ(Form->TitleLbl->text(), QString::fromStdString(Player->Title));
    EXPECT_FALSE(Form->TitleLbl->text().isEmpty());

    Form->PlayBtn->click();
    EXPECT_EQ(Player->State(), psPlaying);
    ExpectControls(Form, {true, true, true, true, true});
    ExpectPauseShown(Form, true);
    EXPECT_EQ(Form->PauseBtn->geometry(), QRect(8, 5, 41, 41));
    EXPECT_TRUE(TimerOn());
    ASSERT_TRUE(WaitFor([&] { return KnobLeft() > 0 && Time() == QStringLiteral("00:01"); }));

    Form->PauseBtn->click();
    EXPECT_EQ(Player->State(), psPaused);
    ExpectControls(Form, {true, false, true, true, true});
    ExpectPauseShown(Form, false);
    EXPECT_FALSE(TimerOn());

    Form->StopItem->trigger();
    EXPECT_EQ(Player->State(), psStopped);
    ExpectControls(Form, {true, false, false, true, true});
    EXPECT_FALSE(TimerOn());
    // Time and knob keep where the track stopped.
    EXPECT_EQ(Time(), QStringLiteral("00:01"));
    EXPECT_GT(KnobLeft(), 0);

    // From stopped, play starts again from the beginning.
    Form->PlayItem->trigger();
    EXPECT_EQ(Player->State(), psPlaying);
    ASSERT_TRUE(WaitFor([&] { return Time() == QStringLiteral("00:00"); }));

    Player->CloseTrack();
    ExpectControls(Form, {false, false, false, false, false});
    EXPECT_EQ(Form->TitleLbl->text(), QString());
}

TEST_F(Transport, CtrlEnterPlaysPausesAndResumes)
{
    Load({"tone-44100-4s.ogg"}, 0);
    Key(CtrlEnter);
    EXPECT_EQ(Player->State(), psPlaying);
    ASSERT_TRUE(WaitFor([] { return Player->Position() > 0.05; }));
    Key(CtrlEnter);
    EXPECT_EQ(Player->State(), psPaused);
    const double paused = Player->Position();
    Key(CtrlEnter);
    EXPECT_EQ(Player->State(), psPlaying);
    // Resumed where it paused, not from the beginning.
    EXPECT_GE(Player->Position(), paused);
    ExpectPauseShown(Form, true);
}

// Ctrl with either Enter key is one command wherever the focus is: with the
// list focused it must not reach the list's Enter, which would start the
// focused row again.
TEST_F(Transport, CtrlWithEitherEnterKeyPlaysPausesAndResumesWhereverTheFocusIs)
{
    fixtures::TempDir dir;
    TVirtualTree *list = ShowFolder(dir, {{"tone-44100-4s.ogg", "a.ogg"}, {"short-0.3s.wav", "b.wav"}});
    ASSERT_FALSE(HasFailure());
    auto press = [](const QKeySequence &key) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key[0].key()), key[0].keyboardModifiers());
    };

    // Nothing open and no row focused: the item is disabled, the keys do nothing.
    list->setFocus();
    ASSERT_TRUE(WaitFor([&] { return list->hasFocus(); }));
    for (const QKeySequence &key : {CtrlEnter, CtrlKeypadEnter}) {
        press(key);
        EXPECT_EQ(Player->State(), psNone);
    }
    // Nothing open, a row focused: the keypad's key plays it, as the main one does.
    list->SelectNode(list->FirstChild(nullptr), true);
    press(CtrlKeypadEnter);
    ASSERT_EQ(Player->State(), psPlaying);
    EXPECT_EQ(Current(), dir.path() + "a.ogg");

    for (bool onList : {true, false}) {
        QWidget *focus = onList ? static_cast<QWidget *>(list) : Form->TreeView;
        focus->setFocus();
        ASSERT_TRUE(WaitFor([&] { return focus->hasFocus(); }));
        for (const QKeySequence &key : {CtrlEnter, CtrlKeypadEnter}) {
            SCOPED_TRACE(std::string(onList ? "list focused, " : "tree focused, ") +
                         key.toString(QKeySequence::PortableText).toStdString());
            Player->Play();
            ASSERT_EQ(Player->State(), psPlaying);
            ASSERT_TRUE(WaitFor([] { return Player->Position() > 0.05; }));
            press(key);
            EXPECT_EQ(Player->State(), psPaused);
            const double paused = Player->Position();
            EXPECT_GT(paused, 0.05);
            press(key);
            EXPECT_EQ(Player->State(), psPlaying);
            // Resumed where it paused, not started again.
            EXPECT_GE(Player->Position(), paused);
            EXPECT_EQ(Current(), dir.path() + "a.ogg");
            ExpectPauseShown(Form, true);
        }
    }

    // Enter alone, either key, still plays the list's focused row.
    list->setFocus();
    ASSERT_TRUE(WaitFor([&] { return list->hasFocus(); }));
    list->SelectNode(list->NextSibling(list->FirstChild(nullptr)), true);
    QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(Current(), dir.path() + "b.wav");
    EXPECT_EQ(Player->State(), psPlaying);
}

// What a screen reader reads for a control.
QString AccessibleText(QObject *control, QAccessible::Text text)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
    return accessible ? accessible->text(text) : QStringLiteral("<none>");
}

TEST_F(Transport, EveryControlHasANameForScreenReadersAndLooksTheSame)
{
    const std::pair<QWidget *, const char *> named[] = {{Form->PlayBtn, "Wiedergeben"},
                                                        {Form->PauseBtn, "Pause"},
                                                        {Form->StopBtn, "Stop"},
                                                        {Form->BackBtn, "Zurück"},
                                                        {Form->NextBtn, "Weiter"},
                                                        {Form->TrackBar, "Wiedergabeposition"},
                                                        {Form->TimeLbl, "Verstrichene Zeit"},
                                                        {Form->TreeView, "Navigation"},
                                                        {Form->ListView, "Titelliste"}};
    for (auto [control, name] : named)
        EXPECT_EQ(AccessibleText(control, QAccessible::Name), QString::fromUtf8(name)) << name;
    for (TImageButton *button :
         {Form->PlayBtn, Form->PauseBtn, Form->StopBtn, Form->BackBtn, Form->NextBtn}) {
        EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->role(), QAccessible::Button);
        EXPECT_TRUE(button->text().isEmpty());
    }

    // The one mode button shown names the current mode, through the whole
    // cycle, whether the mode was chosen by the button or by the menu.
    const char *const modes[] = {"Wiedergeben", "Diesen Track wiedergeben", "Track wiederholen",
                                 "Alle wiederholen", "Zufällige Wiedergabe"};
    auto shownModeButton = [this]() -> TModeButton * {
        TModeButton *shown = nullptr;
        for (TModeButton *b : Form->PlayModeBox->findChildren<TModeButton *>())
            if (b->isVisible()) {
                EXPECT_EQ(shown, nullptr);
                shown = b;
            }
        return shown;
    };
    for (int i = 0; i <= kPlayModeCount; ++i) {
        const int mode = i % kPlayModeCount;
        TModeButton *shown = shownModeButton();
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(AccessibleText(shown, QAccessible::Name), QString::fromUtf8(modes[mode])) << mode;
        EXPECT_EQ(AccessibleText(shown, QAccessible::Description), QStringLiteral("Wiedergabemodus"));
        // Its hint is unchanged.
        EXPECT_EQ(shown->toolTip(), QString::fromUtf8(modes[mode]));
        shown->click();
    }
    Form->PlayModeRandomItem->trigger();
    EXPECT_EQ(AccessibleText(shownModeButton(), QAccessible::Name), QStringLiteral("Zufällige Wiedergabe"));
    Form->PlayModeDefaultItem->trigger();

    // The time label shows the time and tells it as its description.
    EXPECT_EQ(Time(), QStringLiteral("00:00"));
    EXPECT_EQ(AccessibleText(Form->TimeLbl, QAccessible::Description), QStringLiteral("00:00"));
    Play({"tone-44100-4s.ogg"}, 0);
    ASSERT_TRUE(WaitFor([&] { return Time() == QStringLiteral("00:01"); }));
    EXPECT_EQ(AccessibleText(Form->TimeLbl, QAccessible::Description), QStringLiteral("00:01"));
}

TEST_F(Transport, BackAndNextFollowTheIndexInTheList)
{
    Load({"short-0.3s.wav", "short-0.3s-b.wav", "short-0.3s-c.wav"}, 0);
    ExpectControls(Form, {true, false, false, false, true});
    Form->NextBtn->click();
    EXPECT_EQ(Current(), File("short-0.3s-b.wav"));
    EXPECT_EQ(Player->State(), psPlaying);
    ExpectControls(Form, {true, true, true, true, true});
    Form->NextItem->trigger();
    EXPECT_EQ(Current(), File("short-0.3s-c.wav"));
    ExpectControls(Form, {true, true, true, true, false});
    Form->BackBtn->click();
    EXPECT_EQ(Current(), File("short-0.3s-b.wav"));

    // Even where the handlers would wrap or choose at random, the ends disable.
    Form->PlayModeClick(pmRepeatAll);
    Load({"short-0.3s.wav", "short-0.3s-b.wav", "short-0.3s-c.wav"}, 2);
    ExpectControls(Form, {true, false, false, true, false});
    Form->NextBtnClick();
    EXPECT_EQ(Current(), File("short-0.3s.wav"));
    Form->BackBtnClick();
    EXPECT_EQ(Current(), File("short-0.3s-c.wav"));
    Form->PlayModeClick(pmRandom);
    Form->BackBtnClick();
    EXPECT_NE(Current(), File("short-0.3s-c.wav"));
    EXPECT_EQ(Player->State(), psPlaying);

    // One entry: neither.
    Form->PlayModeClick(pmDefault);
    Load({"tone-44100-4s.ogg"}, 0);
    ExpectControls(Form, {true, false, false, false, false});

    // A track that is no longer in the list: neither, from the next change on.
    Play({"short-0.3s.wav", "tone-44100-4s.ogg", "short-0.3s-b.wav"}, 1);
    Player->Playlist->Clear();
    Player->Playlist->Add(File("short-0.3s.wav"));
    Player->Playlist->Add(File("short-0.3s-b.wav"));
    Form->PauseBtn->click();
    ExpectControls(Form, {true, false, true, false, false});
}

TEST_F(Transport, TheModeButtonCyclesThroughAllModesAndMovesTheCheckMark)
{
    TModeButton *const buttons[] = {Form->PlayModeDefaultBtn, Form->PlayModeTrackBtn, Form->PlayModeRepeatBtn,
                                    Form->PlayModeRepeatAllBtn, Form->PlayModeRandomBtn};
    QAction *const items[] = {Form->PlayModeDefaultItem, Form->PlayModeTrackItem, Form->PlayModeRepeatItem,
                              Form->PlayModeRepeatAllItem, Form->PlayModeRandomItem};
    auto expectMode = [&](int mode) {
        EXPECT_EQ(Form->PlayMode, mode);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(buttons[i]->isVisible(), i == mode) << mode << " " << i;
            EXPECT_EQ(items[i]->isChecked(), i == mode) << mode << " " << i;
        }
    };
    expectMode(pmDefault);
    for (int step = 1; step <= 5; ++step) {
        TModeButton *visible = buttons[Form->PlayMode];
        QTest::mouseClick(visible, Qt::LeftButton);
        expectMode(step % 5);
    }

    // Hints name the mode each button shows.
    EXPECT_EQ(buttons[pmTrack]->toolTip(), QStringLiteral("Diesen Track wiedergeben"));
    EXPECT_EQ(buttons[pmRandom]->toolTip(), QString::fromUtf8("Zufällige Wiedergabe"));

    // A value that is no mode shows the default and checks its item; only the
    // low byte of the tag counts.
    Form->PlayModeClick(pmRepeat);
    Form->PlayModeClick(7);
    EXPECT_EQ(Form->PlayMode, 7);
    EXPECT_TRUE(buttons[pmDefault]->isVisible());
    EXPECT_TRUE(items[pmDefault]->isChecked());
    Form->PlayModeClick(0x100 + pmRepeatAll);
    expectMode(pmRepeatAll);
}

TEST_F(Transport, FunctionKeysSelectFourModesAndTheTrackModeHasNone)
{
    EXPECT_TRUE(Form->PlayModeTrackItem->shortcut().isEmpty());
    const std::pair<Qt::Key, TPlayMode> keys[] = {{Qt::Key_F10, pmRepeat},
                                                  {Qt::Key_F11, pmRepeatAll},
                                                  {Qt::Key_F12, pmRandom},
                                                  {Qt::Key_F9, pmDefault}};
    for (auto [key, mode] : keys) {
        QTest::keyClick(Form, key);
        EXPECT_EQ(Form->PlayMode, mode) << key;
        EXPECT_EQ(Form->PlayModeGroup->checkedAction()->data().toInt(), mode);
    }
    Form->PlayModeTrackItem->trigger();
    EXPECT_EQ(Form->PlayMode, pmTrack);
    EXPECT_TRUE(Form->PlayModeTrackBtn->isVisible());
}

TEST_F(Transport, DefaultModePlaysTheNextAndStopsAfterTheLast)
{
    Play({"short-0.3s.wav", "short-0.3s-b.wav"}, 0);
    ASSERT_TRUE(WaitFor([] { return Current() == File("short-0.3s-b.wav"); }));
    EXPECT_EQ(Player->State(), psPlaying);
    EXPECT_EQ(Form->TitleLbl->text(), QString::fromStdString(Player->Title));
    ASSERT_TRUE(WaitFor([&] { return TrackEnds == 2; }));
    EXPECT_EQ(Current(), File("short-0.3s-b.wav"));
    EXPECT_EQ(Player->State(), psStopped);
    EXPECT_FALSE(TimerOn());
    ExpectPauseShown(Form, false);
}

TEST_F(Transport, TrackModeStopsWithTheTrack)
{
    Form->PlayModeClick(pmTrack);
    Play({"short-0.3s.wav", "short-0.3s-b.wav"}, 0);
    ASSERT_TRUE(WaitFor([&] { return TrackEnds == 1; }));
    EXPECT_EQ(Current(), File("short-0.3s.wav"));
    EXPECT_EQ(Player->State(), psStopped);
    EXPECT_FALSE(TimerOn());
}

TEST_F(Transport, RepeatModePlaysTheSameTrackAgain)
{
    Form->PlayModeClick(pmRepeat);
    Play({"short-0.3s.wav", "short-0.3s-b.wav"}, 0);
    ASSERT_TRUE(WaitFor([&] { return TrackEnds == 2; }));
    EXPECT_EQ(Current(), File("short-0.3s.wav"));
    EXPECT_EQ(Player->State(), psPlaying);
}

TEST_F(Transport, RepeatAllFollowsTheLastWithTheFirst)
{
    Form->PlayModeClick(pmRepeatAll);
    Play({"short-0.3s.wav", "short-0.3s-b.wav"}, 1);
    ASSERT_TRUE(WaitFor([&] { return TrackEnds == 1; }));
    EXPECT_EQ(Current(), File("short-0.3s.wav"));
    EXPECT_EQ(Player->State(), psPlaying);
}

TEST_F(Transport, RandomModePlaysAnotherTrack)
{
    Form->PlayModeClick(pmRandom);
    Play({"short-0.3s.wav", "short-0.3s-b.wav", "short-0.3s-c.wav"}, 1);
    ASSERT_TRUE(WaitFor([&] { return TrackEnds == 1; }));
    EXPECT_NE(Current(), File("short-0.3s-b.wav"));
    EXPECT_EQ(Player->State(), psPlaying);
}

TEST_F(Transport, ALeftPressCentresTheKnobAndShowsItsTimeTheReleaseSeeks)
{
    const fixtures::Stopwatch sincePlay;
    Play({"tone-44100-4s.ogg"}, 0);
    const int travel = Travel();
    ASSERT_GT(travel, 100);

    // Pressed on the bar through the widget: centred on the pointer.
    QTest::mousePress(Form->TrackBar, Qt::LeftButton, {}, BarPoint(travel / 2 + 6));
    EXPECT_TRUE(Form->TrackDragging);
    EXPECT_FALSE(TimerOn());
    EXPECT_EQ(KnobLeft(), travel / 2);
    EXPECT_EQ(Form->TrackStartLeft, travel / 2);
    EXPECT_EQ(Form->TrackStartX, travel / 2 + 6);
    EXPECT_EQ(Time(), QStringLiteral("00:02"));
    EXPECT_TRUE(NotSought(sincePlay));

    // Dragged past either end, the knob holds there.
    QTest::mouseMove(Form->TrackBar, BarPoint(travel + 200));
    EXPECT_EQ(KnobLeft(), travel);
    EXPECT_EQ(Time(), QStringLiteral("00:04"));
    Form->TrackBarMouseMove(-500);
    EXPECT_EQ(KnobLeft(), 0);
    EXPECT_EQ(Time(), QStringLiteral("00:00"));
    Form->TrackBarMouseMove(travel / 2 + 6 + travel / 4);
    EXPECT_EQ(KnobLeft(), travel / 2 + travel / 4);
    EXPECT_TRUE(NotSought(sincePlay));
    // A state change during the drag leaves the knob to the pointer.
    Player->Pause();
    Player->Play();
    EXPECT_FALSE(TimerOn());

    const fixtures::Stopwatch sinceRelease;
    QTest::mouseRelease(Form->TrackBar, Qt::LeftButton, {}, BarPoint(0));
    EXPECT_FALSE(Form->TrackDragging);
    EXPECT_TRUE(TimerOn());
    const double sought = double(travel / 2 + travel / 4) / travel;
    EXPECT_DOUBLE_EQ(Form->TrackPosition, sought);
    // There (to the sample frame), or on from there with the time since.
    const double onFrom = (Player->Position() - sought) * Player->Duration;
    EXPECT_GE(onFrom, -0.001);
    EXPECT_LE(onFrom, sinceRelease.Seconds() + fixtures::kNoSoundAhead);
    EXPECT_EQ(Player->State(), psPlaying);

    // Presses beyond the ends clamp the centred knob.
    Form->TrackBarMouseDown(Qt::LeftButton, 3);
    EXPECT_EQ(KnobLeft(), 0);
    Form->TrackBarMouseDown(Qt::LeftButton, travel + 40);
    EXPECT_EQ(KnobLeft(), travel);
    // The middle button does nothing.
    Form->TrackBarMouseDown(Qt::MiddleButton, 20);
    Form->TrackBarMouseUp(Qt::MiddleButton);
    EXPECT_TRUE(Form->TrackDragging);
    EXPECT_EQ(KnobLeft(), travel);
}

TEST_F(Transport, ARightPressOrALostReleaseCancelsTheDrag)
{
    const fixtures::Stopwatch sincePlay;
    Play({"tone-44100-4s.ogg"}, 0);
    const int travel = Travel();

    Form->TrackBarMouseDown(Qt::LeftButton, travel - 20);
    Form->TrackBarMouseDown(Qt::RightButton, travel - 20);
    EXPECT_FALSE(Form->TrackDragging);
    EXPECT_TRUE(TimerOn());
    // The knob follows playback again at the next tick.
    ASSERT_TRUE(WaitFor([&] { return KnobLeft() < travel / 2; }));
    Form->TrackBarMouseUp(Qt::LeftButton);
    EXPECT_TRUE(NotSought(sincePlay));

    // The left button let go where the bar did not see it: the next move
    // cancels without a seek.
    Form->TrackBarMouseDown(Qt::LeftButton, travel - 20);
    Held = Qt::NoButton;
    Form->TrackBarMouseMove(travel - 10);
    EXPECT_FALSE(Form->TrackDragging);
    EXPECT_EQ(KnobLeft(), travel - 20 - 6);
    Form->TrackBarMouseUp(Qt::LeftButton);
    EXPECT_TRUE(NotSought(sincePlay));
    ASSERT_TRUE(WaitFor([&] { return KnobLeft() < travel / 2; }));
}

TEST_F(Transport, ReleasingAtTheRightEndEndsTheTrackByThePlayMode)
{
    Play({"tone-44100-4s.ogg", "short-0.3s.wav"}, 0);
    Form->TrackBarMouseDown(Qt::LeftButton, Travel() + 100);
    Form->TrackBarMouseUp(Qt::LeftButton);
    EXPECT_EQ(TrackEnds, 1);
    EXPECT_EQ(Current(), File("short-0.3s.wav"));
    EXPECT_EQ(Player->State(), psPlaying);

    Form->PlayModeClick(pmTrack);
    Play({"tone-44100-4s.ogg", "short-0.3s.wav"}, 0);
    Form->TrackBarMouseDown(Qt::LeftButton, Travel() + 6);
    Form->TrackBarMouseUp(Qt::LeftButton);
    EXPECT_EQ(TrackEnds, 2);
    EXPECT_EQ(Current(), File("tone-44100-4s.ogg"));
    EXPECT_EQ(Player->State(), psStopped);
}

TEST_F(Transport, AReleaseWithNothingOpenSeeksNothingAndTheKnobReturns)
{
    Form->TrackBarMouseDown(Qt::LeftButton, 200);
    EXPECT_EQ(KnobLeft(), 194);
    // No file: the time is left alone.
    EXPECT_EQ(Time(), QStringLiteral("00:00"));
    Form->TrackBarMouseUp(Qt::LeftButton);
    EXPECT_TRUE(TimerOn());
    EXPECT_EQ(Player->State(), psNone);
    ASSERT_TRUE(WaitFor([&] { return KnobLeft() == 0; }));
    EXPECT_EQ(Time(), QStringLiteral("00:00"));
}

TEST_F(Transport, TimesShowMinutesAndSecondsRoundedHalfToEven)
{
    Load({"tone-44100-4s.ogg"}, 0);
    const int travel = Travel();
    auto timeAt = [&](int left, double duration) {
        Player->Duration = duration;
        Form->TrackBarMouseDown(Qt::LeftButton, left + 6);
        EXPECT_EQ(KnobLeft(), left);
        return Time();
    };
    EXPECT_EQ(timeAt(travel, 65), QStringLiteral("01:05"));
    EXPECT_EQ(timeAt(travel, 6005), QStringLiteral("100:05"));
    EXPECT_EQ(timeAt(travel, 59.4), QStringLiteral("00:59"));
    if (travel % 2 == 0) {
        EXPECT_EQ(timeAt(travel / 2, 5), QStringLiteral("00:02"));
        EXPECT_EQ(timeAt(travel / 2, 7), QStringLiteral("00:04"));
    }
}

} // namespace

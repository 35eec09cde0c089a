// The main window's play panel: play, pause, stop, back and next, the play
// modes, the title and time labels and the seek bar.
#include "ui/Unit1.h"

#include "platform/Clock.h"
#include "platform/Names.h"
#include "playback/PlayerExt.h"
#include "ui/AlignLayout.h"
#include "ui/Assets.h"
#include "ui/Fonts.h"
#include "ui/ImageButton.h"
#include "ui/TrackBar.h"
#include "ui/VirtualTree.h"

#include <QAction>
#include <QLabel>
#include <QTimer>
#include <climits>
#include <cmath>
#include <tuple>

namespace {

// Back and next differ only in their direction: "Alle wiederholen" wraps
// around, "Zufällige Wiedergabe" picks any other track.
void Step(TPlayMode mode, void (TKlangdeck::*direction)(bool wrap))
{
    if (mode == pmRandom)
        Player->PlayRandom();
    else
        (Player->*direction)(mode == pmRepeatAll);
}

// To the nearest whole number, halves to the even neighbour (the default
// rounding mode). Values outside int, and NaN, cannot come from a fraction
// of a track; they give the nearest end instead of undefined behaviour.
int RoundHalfEven(double value)
{
    if (!(value > double(INT_MIN)))
        return value < 0 ? INT_MIN : 0;
    if (value >= double(INT_MAX))
        return INT_MAX;
    return int(std::nearbyint(value));
}

} // namespace

void TForm1::CreatePlayPanel()
{
    PlayLayout = new TAnchorLayout(QSize(788, 50), PlayPnl);

    auto button = [this](const char *name, QRect rect) {
        auto *b = new TImageButton(name, rect.width(), PlayPnl);
        PlayLayout->AddWidget(b, rect);
        return b;
    };
    PlayBtn = button("play", {8, 5, 41, 41});
    PauseBtn = button("pause", {8, 5, 41, 41});
    PauseBtn->hide();
    StopBtn = button("stop", {50, 21, 25, 25});
    BackBtn = button("back", {82, 13, 33, 33});
    NextBtn = button("next", {115, 13, 33, 33});

    TitleLbl = new QLabel(QStringLiteral("[(Artist - )Title]"), PlayPnl);
    TitleLbl->setFont(SansFont(11));
    PlayLayout->AddWidget(TitleLbl, {168, 5, 553, 13}, akLeft | akTop | akRight);
    TimeLbl = new QLabel(QStringLiteral("[mm:ss]"), PlayPnl);
    TimeLbl->setFont(SansFont(11));
    TimeLbl->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PlayLayout->AddWidget(TimeLbl, {726, 5, 35, 13}, akTop | akRight);

    PlayModeBox = new QWidget(PlayPnl);
    PlayLayout->AddWidget(PlayModeBox, {765, 5, 16, 16}, akTop | akRight);
    struct Mode {
        TModeButton **Button;
        const char *Hint;
    };
    const Mode modes[] = {{&PlayModeDefaultBtn, "Wiedergeben"},
                          {&PlayModeTrackBtn, "Diesen Track wiedergeben"},
                          {&PlayModeRepeatBtn, "Track wiederholen"},
                          {&PlayModeRepeatAllBtn, "Alle wiederholen"},
                          {&PlayModeRandomBtn, "Zufällige Wiedergabe"}};
    for (int mode = 0; mode < kPlayModeCount; ++mode) {
        auto *b = new TModeButton(ModeImage(mode), QString::fromUtf8(modes[mode].Hint), PlayModeBox);
        b->move(0, 0);
        b->Tag = (mode + 1) % kPlayModeCount; // the mode a click selects
        b->setVisible(mode == pmDefault);
        *modes[mode].Button = b;
    }

    TrackBar = new TTrackBar(PlayPnl);
    PlayLayout->AddWidget(TrackBar, {168, 24, 615, 17}, akLeft | akTop | akRight);
    TrackButton = TrackBar->TrackButton();
}

// Transport: play, pause, stop, back and next, the play modes, the title and
// time labels and the seek bar.
void TForm1::ConnectTransport()
{
    // Each transport button and its menu item share one handler.
    const std::tuple<TImageButton *, QAction *, void (TForm1::*)()> controls[] = {
        {PlayBtn, PlayItem, &TForm1::PlayBtnClick},
        {PauseBtn, PauseItem, &TForm1::PauseBtnClick},
        {StopBtn, StopItem, &TForm1::StopBtnClick},
        {BackBtn, BackItem, &TForm1::BackBtnClick},
        {NextBtn, NextItem, &TForm1::NextBtnClick}};
    for (auto [button, item, handler] : controls) {
        connect(button, &QAbstractButton::clicked, this, handler);
        connect(item, &QAction::triggered, this, handler);
    }

    for (TModeButton *button : ModeButtons())
        connect(button, &QAbstractButton::clicked, this, [this, button] { PlayModeClick(button->Tag); });
    for (QAction *item : ModeItems())
        connect(item, &QAction::triggered, this, [this, item] { PlayModeClick(item->data().toInt()); });

    connect(PlayingTimer, &QTimer::timeout, this, &TForm1::PlayingTimerTimer);

    TrackBar->OnMouseDown = [this](Qt::MouseButton button, int x) { TrackBarMouseDown(button, x); };
    TrackBar->OnMouseMove = [this](Qt::MouseButtons, int x) { TrackBarMouseMove(x); };
    TrackBar->OnMouseUp = [this](Qt::MouseButton button, int) { TrackBarMouseUp(button); };
}

void TForm1::PlayBtnClick()
{
    if (Player->State() != psNone)
        Player->Play();
    else
        PlayFocused();
}

void TForm1::PauseBtnClick()
{
    Player->Pause();
}

void TForm1::StopBtnClick()
{
    Player->Stop();
}

void TForm1::BackBtnClick()
{
    Step(PlayMode, &TKlangdeck::Previous);
}

void TForm1::NextBtnClick()
{
    Step(PlayMode, &TKlangdeck::Next);
}

void TForm1::PlayModeClick(int Tag)
{
    PlayMode = TPlayMode(Tag & 0xFF);
    UpdatePlayMode();
}

std::array<TModeButton *, 5> TForm1::ModeButtons() const
{
    return {PlayModeDefaultBtn, PlayModeTrackBtn, PlayModeRepeatBtn, PlayModeRepeatAllBtn, PlayModeRandomBtn};
}

std::array<QAction *, 5> TForm1::ModeItems() const
{
    return {PlayModeDefaultItem, PlayModeTrackItem, PlayModeRepeatItem, PlayModeRepeatAllItem,
            PlayModeRandomItem};
}

void TForm1::UpdatePlayMode()
{
    for (TModeButton *button : ModeButtons())
        button->hide();
    const int mode = PlayMode < kPlayModeCount ? PlayMode : pmDefault;
    ModeButtons()[mode]->show();
    ModeItems()[mode]->setChecked(true);
}

void TForm1::UpdateControls()
{
    const TPlayerState state = Player->State();
    const int count = Player->Playlist->Count();
    const int index = Player->Playlist->IndexOf(Player->FileName);

    PlayBtn->setEnabled(state != psNone);
    PauseBtn->setEnabled(state == psPlaying);
    StopBtn->setEnabled(state == psPlaying || state == psPaused);
    BackBtn->setEnabled(0 < index && index < count);
    NextBtn->setEnabled(0 <= index && index < count - 1);
    PlayItem->setEnabled(PlayBtn->isEnabled());
    PauseItem->setEnabled(PauseBtn->isEnabled());
    StopItem->setEnabled(StopBtn->isEnabled());
    BackItem->setEnabled(BackBtn->isEnabled());
    NextItem->setEnabled(NextBtn->isEnabled());

    // One shortcut, carried by whichever of the two items is shown, plays
    // while nothing plays and pauses while playing.
    const bool playing = state == psPlaying;
    QAction *shown = playing ? PauseItem : PlayItem;
    QAction *hidden = playing ? PlayItem : PauseItem;
    PlayBtn->setVisible(!playing);
    PauseBtn->setVisible(playing);
    if (!hidden->shortcuts().isEmpty())
        shown->setShortcuts(hidden->shortcuts());
    hidden->setShortcuts({});
    shown->setVisible(true);
    hidden->setVisible(false);

    // The playing row's colour follows the state.
    ListView->viewport()->update();

    // A drag keeps the timer off, so that a state change meanwhile (the next
    // track starting) does not pull the knob from under the pointer.
    if (playing && !TrackDragging)
        PlayingTimer->start();
    else
        PlayingTimer->stop();
}

void TForm1::PlayerStateChange(TKlangdeck *)
{
    UpdateControls();
    emit PlayerStateChanged();
}

void TForm1::PlayerTrackChange(TKlangdeck *)
{
    TitleLbl->setText(Player->FileName.empty() ? QString() : QString::fromStdString(Player->Title));
    emit PlayerTrackChanged();
}

void TForm1::PlayerTrackEnd(TKlangdeck *)
{
    switch (PlayMode) {
    case pmDefault:
        Player->Next(false);
        break;
    case pmTrack:
        break;
    case pmRepeat:
        Player->Play();
        break;
    case pmRepeatAll:
        Player->Next(true);
        break;
    case pmRandom:
        Player->PlayRandom();
        break;
    }
}

void TForm1::PlayingTimerTimer()
{
    UpdatePosition();
}

void TForm1::ShowTime(int Seconds)
{
    // Formatting allocates; at a tick every 10 ms it happens only once a
    // second.
    if (Seconds == ShownSeconds)
        return;
    ShownSeconds = Seconds;
    TimeLbl->setText(QString::fromStdString(platform::FormatMinSec(Seconds)));
    TimeLbl->setAccessibleDescription(TimeLbl->text());
}

void TForm1::UpdatePosition()
{
    const double fraction = Player->Position();
    ShowTime(RoundHalfEven(fraction * Player->Duration));
    TrackPosition = Player->Position();
    TrackBar->SetKnobLeft(RoundHalfEven(KnobTravel() * TrackPosition));
}

int TForm1::KnobTravel() const
{
    return TrackBar->Travel();
}

void TForm1::ShowKnobTime()
{
    const int travel = KnobTravel();
    if (Player->FileName.empty() || travel <= 0)
        return;
    ShowTime(RoundHalfEven(double(TrackBar->KnobLeft()) / travel * Player->Duration));
}

void TForm1::TrackBarMouseDown(Qt::MouseButton Button, int X)
{
    if (Button == Qt::RightButton) {
        TrackDragging = false;
        PlayingTimer->start();
        return;
    }
    if (Button != Qt::LeftButton)
        return;
    TrackDragging = true;
    PlayingTimer->stop();
    const int p = X - TrackButton->width() / 2;
    TrackBar->SetKnobLeft(p < 0 ? 0 : std::min(p, KnobTravel()));
    TrackStartLeft = TrackBar->KnobLeft();
    TrackStartX = X;
    ShowKnobTime();
}

void TForm1::TrackBarMouseMove(int X)
{
    if (!TrackDragging)
        return;
    // The release may have happened where the bar did not see it; the event
    // carries the buttons as they were, the system knows them as they are.
    const Qt::MouseButtons held = MouseButtonsNow ? MouseButtonsNow() : QGuiApplication::mouseButtons();
    if (!(held & Qt::LeftButton)) {
        // Cancelled as by a right press: the knob follows playback again.
        TrackDragging = false;
        PlayingTimer->start();
        return;
    }
    TrackBar->SetKnobLeft(std::clamp(TrackStartLeft + X - TrackStartX, 0, std::max(KnobTravel(), 0)));
    ShowKnobTime();
}

void TForm1::TrackBarMouseUp(Qt::MouseButton Button)
{
    // A drag cancelled by a right press or a lost release seeks nothing.
    if (Button != Qt::LeftButton || !TrackDragging)
        return;
    TrackDragging = false;
    const int travel = KnobTravel();
    SeekTo(travel > 0 ? double(TrackBar->KnobLeft()) / travel : TrackPosition);
}

void TForm1::SeekTo(double Fraction)
{
    TrackPosition = Fraction;
    if (Player->State() != psNone) {
        Player->Seek(TrackPosition);
        emit PlayerSought();
    }
    // Also with nothing open: the next tick brings the knob back to the start.
    PlayingTimer->start();
}

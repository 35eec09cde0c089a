// The program's start-up stages and the release of what they create: the
// one place that knows the program-wide objects by their constructors.
#include "app/Stages.h"

#include "app/AppExt.h"
#include "library/AudioLibraryExt.h"
#include "playback/BassExt.h"
#include "playback/PlayerExt.h"
#include "ui/FormInfo.h"
#include "ui/Unit1.h"

TStartupStages MakeStartupStages()
{
    // The order matters: the main window's set-up needs the player, the
    // library and the engine controller, and the engine controller must exist
    // before any folder is listed.
    return {
        {"Erstelle Anwendungsverwaltung...", [] { AppController = new TAppController; }},
        {"Initialisiere Player...", [] { Player = new TKlangdeck; }},
        {"Lade Audiobibilothek...", [] { AudioLibrary = new TAudioLibrary; }},
        {"Initialisiere BASS...", [] { BassController = new TBassController; }},
        {"Erstelle Fenster...",
         [] {
             InfoForm = new TInfoForm;
             Form1->InitContent();
         }},
        {"Starte Klangdeck...", {}},
    };
}

void FreeStartupObjects()
{
    delete AppController;
    AppController = nullptr;
    delete Player;
    Player = nullptr;
    delete AudioLibrary;
    AudioLibrary = nullptr;
    delete BassController;
    BassController = nullptr;
}

// Resource paths of the program's artwork (assets/assets.qrc). Main thread.
//
// Every picture is an SVG file compiled into the program:
//   :/splash.svg, :/info.svg               432x213, the product artwork
//   :/buttons/<name>-<state>.svg           image buttons; name play, pause (41x41),
//                                          stop (25x25), back, next (33x33);
//                                          state normal, pressed, hover, disabled
//   :/modes/<mode>.svg                     16x16 play-mode glyphs; mode default,
//                                          track, repeat, repeatall, random
//   :/menu/0.svg ... :/menu/10.svg         16x16 menu images: 0 play, 1 pause,
//                                          2 stop, 3 next, 4 back, 5-9 the play
//                                          modes 0-4, 10 open
//   :/tree/0.svg ... :/tree/8.svg          16x16 tree images: 0 computer, 1 playback
//                                          list, 2 unused, 3 floppy, 4 fixed disk,
//                                          5 optical, 6 removable, 7 folder, 8 open folder
#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

enum class ButtonState { Normal, Pressed, Hover, Disabled };

constexpr int kMenuImageCount = 11;
constexpr int kTreeImageCount = 9;
constexpr int kPlayModeCount = 5;

// Makes the compiled-in resources available. The pictures live in a static
// library, so the linker keeps them only when something calls this; every
// function below does.
void InitAssets();

QString SplashImage();
QString InfoImage();
// name: "play", "pause", "stop", "back" or "next".
QString ButtonImage(const char *name, ButtonState state);
// mode: a TPlayMode value 0..4; any other value gives the glyph of mode 0.
QString ModeImage(int mode);
// index 0..10; an index out of range gives an empty string.
QString MenuImage(int index);
// index 0..8; an index out of range gives an empty string.
QString TreeImage(int index);

// The picture at path drawn at size for the given device pixel ratio; kept in
// the pixmap cache, so each picture is rendered once per size and ratio.
QPixmap SvgPixmap(const QString &path, QSize size, qreal devicePixelRatio);

// Icons for menus and the tree, sharp at every device pixel ratio.
QIcon MenuIcon(int index);
QList<QIcon> TreeIcons();

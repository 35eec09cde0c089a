// Buttons that show pictures instead of a caption. Main thread.
//
// TImageButton paints one of four pictures for its state: normal, pressed
// (held down with the pointer on it), hover (pointer over it) and disabled.
// It has the fixed size of its pictures, never takes the keyboard focus and
// reports a click through QAbstractButton::clicked.
//
// TModeButton is a flat 16x16 button with one glyph, as the play-mode
// selector uses: no frame until the pointer is over it, a tool-tip hint, and
// a Tag for the owner to tell the buttons apart.
#pragma once

#include "ui/Assets.h"

#include <QAbstractButton>
#include <QString>

class TImageButton : public QAbstractButton {
    Q_OBJECT
public:
    // The pictures of ButtonImage(name, ...) at size x size pixels.
    TImageButton(const char *name, int size, QWidget *parent = nullptr);
    // Any four pictures, drawn at size.
    TImageButton(const QString &normal, const QString &pressed, const QString &hover, const QString &disabled,
                 QSize size, QWidget *parent = nullptr);

    // The picture that a paint shows now.
    ButtonState State() const;
    QString Picture(ButtonState state) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QString Pictures[4];
};

class TModeButton : public QAbstractButton {
    Q_OBJECT
public:
    TModeButton(const QString &glyph, const QString &hint, QWidget *parent = nullptr);

    // The owner's value for this button (the play mode a click selects).
    int Tag = 0;

    QString Glyph() const { return GlyphPath; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QString GlyphPath;
};

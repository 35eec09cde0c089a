// Two small layouts for windows built like classic forms. Main thread.
//
// TAlignLayout docks its widgets to the edges of the parent in the order they
// were added: each top, bottom, left or right widget keeps its own height or
// width and takes the whole length of what is left along that edge; the
// widget aligned to the rest fills what remains. Hidden widgets take no room.
//
// TAnchorLayout places widgets at fixed design positions within a design
// width; a widget anchored right keeps its distance to the right edge, one
// anchored left and right stretches with the parent.
#pragma once

#include <QLayout>
#include <QRect>
#include <vector>

enum class TAlign { Top, Bottom, Left, Right, Client };

class TAlignLayout : public QLayout {
    Q_OBJECT
public:
    explicit TAlignLayout(QWidget *parent = nullptr);
    ~TAlignLayout() override;

    void AddWidget(QWidget *widget, TAlign align);
    // Lays the widgets out again at once, e.g. after a width was changed.
    void Realign();

    void addItem(QLayoutItem *item) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    struct Entry {
        QLayoutItem *Item;
        TAlign Align;
    };
    std::vector<Entry> Entries;
};

enum TAnchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

class TAnchorLayout : public QLayout {
    Q_OBJECT
public:
    // designSize: the parent's size that the design positions refer to.
    explicit TAnchorLayout(QSize designSize, QWidget *parent = nullptr);
    ~TAnchorLayout() override;

    void AddWidget(QWidget *widget, QRect designRect, int anchors = akLeft | akTop);

    void addItem(QLayoutItem *item) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    struct Entry {
        QLayoutItem *Item;
        QRect Design;
        int Anchors;
    };
    QSize DesignSize;
    std::vector<Entry> Entries;
};

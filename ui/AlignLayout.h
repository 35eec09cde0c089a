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

// The item bookkeeping both layouts share: each entry owns its item.
template <class Entry> class TEntryLayout : public QLayout {
public:
    explicit TEntryLayout(QWidget *parent) : QLayout(parent)
    {
        setContentsMargins(0, 0, 0, 0);
        setSpacing(0);
    }
    ~TEntryLayout() override
    {
        for (auto &entry : Entries)
            delete entry.Item;
    }

    QLayoutItem *itemAt(int index) const override
    {
        return index >= 0 && index < count() ? Entries[index].Item : nullptr;
    }
    QLayoutItem *takeAt(int index) override
    {
        if (index < 0 || index >= count())
            return nullptr;
        QLayoutItem *item = Entries[index].Item;
        Entries.erase(Entries.begin() + index);
        return item;
    }
    int count() const override { return static_cast<int>(Entries.size()); }
    QSize minimumSize() const override { return {0, 0}; }

protected:
    std::vector<Entry> Entries;
};

enum class TAlign { Top, Bottom, Left, Right, Client };

struct TAlignEntry {
    QLayoutItem *Item;
    TAlign Align;
};

class TAlignLayout : public TEntryLayout<TAlignEntry> {
public:
    explicit TAlignLayout(QWidget *parent = nullptr);

    void AddWidget(QWidget *widget, TAlign align);
    // Lays the widgets out again at once, e.g. after a width was changed.
    void Realign();

    void addItem(QLayoutItem *item) override;
    QSize sizeHint() const override;
    void setGeometry(const QRect &rect) override;
};

enum TAnchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

struct TAnchorEntry {
    QLayoutItem *Item;
    QRect Design;
    int Anchors;
};

class TAnchorLayout : public TEntryLayout<TAnchorEntry> {
public:
    // designSize: the parent's size that the design positions refer to.
    explicit TAnchorLayout(QSize designSize, QWidget *parent = nullptr);

    void AddWidget(QWidget *widget, QRect designRect, int anchors = akLeft | akTop);

    void addItem(QLayoutItem *item) override;
    QSize sizeHint() const override;
    void setGeometry(const QRect &rect) override;

private:
    QSize DesignSize;
};

// ScreenItem: the common base of the things the screen-space layers draw (the background
// sprite and the cards). It carries no data; the card layer destroys its cards through it.
#pragma once

class ScreenItem {
public:
    ScreenItem() = default;
    virtual ~ScreenItem() = default;
    ScreenItem(const ScreenItem&) = default;
    ScreenItem& operator=(const ScreenItem&) = default;
};

// The event that asks the UI thread to show the player's display, posted without allocating.
#pragma once

#include <QEvent>

#include <cstddef>

// MIDI input posts one for the first change after a quiet time; the UI thread then shows the
// state as it is by then, so the widgets never go back to an older one. Its memory comes from
// two slots, so that posting allocates nothing on the MIDI thread; only nested event loops (a
// message box) can keep more alive, and those come from the heap. Any thread may make one.
class TSyncEvent final : public QEvent {
public:
    static const QEvent::Type Kind;
    TSyncEvent() : QEvent(Kind) {}
    static void* operator new(std::size_t size);
    static void operator delete(void* memory) noexcept;
};

// The sync event's two slots of memory.
#include "SyncEvent.h"

#include <atomic>
#include <new>

const QEvent::Type TSyncEvent::Kind = QEvent::Type(QEvent::registerEventType());

namespace {

constexpr int SlotCount = 2;
alignas(TSyncEvent) unsigned char EventSlots[SlotCount][sizeof(TSyncEvent)];
std::atomic<bool> EventSlotUsed[SlotCount];

}   // namespace

void* TSyncEvent::operator new(std::size_t size)
{
    if (size <= sizeof(TSyncEvent)) {
        for (int i = 0; i < SlotCount; ++i) {
            if (!EventSlotUsed[i].exchange(true, std::memory_order_acquire))
                return EventSlots[i];
        }
    }
    return ::operator new(size);
}

void TSyncEvent::operator delete(void* memory) noexcept
{
    for (int i = 0; i < SlotCount; ++i) {
        if (memory == EventSlots[i]) {
            EventSlotUsed[i].store(false, std::memory_order_release);
            return;
        }
    }
    ::operator delete(memory);
}

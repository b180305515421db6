#pragma once

// A record that crosses threads as the argument of a queued call.
//
// Qt copies a queued argument into the event in the sending thread and reads
// it (and destroys it) in the receiving one. Its event queue orders the two,
// but under a lock that ThreadSanitizer does not see, since the system's Qt is
// not built with it; every such record would be reported. QueuedValue makes
// the order visible: each copy or move acquires what was released on its
// source before reading it and releases the new value once it is complete;
// destruction acquires first. Outside the thread-checker build it is the
// plain record, with nothing added.
//
// A record type keeps its fields in a struct of their own and is the
// QueuedValue of it:
//
//   struct DataPackFields { QString key; ... };
//   struct DataPack : QueuedValue<DataPackFields> {};
//
// Only the moment a value is made is published: a write to a record after it
// was handed over, racing with a read in another thread, is still reported.

#if defined(__SANITIZE_THREAD__)
#define QUELLON_QUEUED_VALUE_ORDER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUELLON_QUEUED_VALUE_ORDER 1
#endif
#endif

#ifdef QUELLON_QUEUED_VALUE_ORDER
#include <sanitizer/tsan_interface.h>

#include <utility>

template <class Fields>
struct QueuedValue : Fields
{
    QueuedValue() = default;

    QueuedValue(const QueuedValue &other) : Fields(acquired(other)) { published(); }
    QueuedValue(QueuedValue &&other) noexcept : Fields(std::move(acquired(other))) { published(); }

    QueuedValue &operator=(const QueuedValue &other)
    {
        acquireFrom(this);
        Fields::operator=(acquired(other));
        published();
        return *this;
    }
    QueuedValue &operator=(QueuedValue &&other) noexcept
    {
        acquireFrom(this);
        Fields::operator=(std::move(acquired(other)));
        published();
        return *this;
    }

    ~QueuedValue() { acquireFrom(this); } // before the fields are destroyed

private:
    static void acquireFrom(const QueuedValue *value)
    {
        __tsan_acquire(const_cast<QueuedValue *>(value));
    }
    template <class V>
    static V &acquired(V &value)
    {
        acquireFrom(&value);
        return value;
    }
    void published() { __tsan_release(this); }
};

#else

template <class Fields>
struct QueuedValue : Fields
{
};

#endif

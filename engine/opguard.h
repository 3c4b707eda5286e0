/* Operation guard of the engine: every exported operation on a record runs
 * inside one.  The busy mark is taken by compare-exchange, so of two threads
 * starting an operation on one record at once exactly one gets it; the
 * winner also holds a reference for as long as the guard lives, so that a
 * FreeCINFO during the operation leaves the memory alone. */
#ifndef TESSEL_ENGINE_OPGUARD_H
#define TESSEL_ENGINE_OPGUARD_H

#include "engine.h"

#include <string.h>

/* Takes the busy mark (0 -> code); 1 on success.  No text, no reference. */
inline int TakeBusy(CINFO *ci, int32_t code)
{
    return InterlockedCompareExchange(reinterpret_cast<volatile LONG *>(&ci->busy), (LONG)code, 0) == 0;
}

inline void ClearBusy(CINFO *ci) { InterlockedExchange(reinterpret_cast<volatile LONG *>(&ci->busy), 0); }

/* The text a refused caller finds in errorBuf. */
inline void SetBusyText(CINFO *ci) { strcpy(ci->errorBuf, "! busy"); }

class OperationGuard {
public:
    enum Refusal { kBusyText, kQuiet };
    /* The record must have passed its stamp check.  When busy is already
     * set, errorBuf reads "! busy" (unless kQuiet) and Held() is false. */
    OperationGuard(CINFO *ci, int32_t code, Refusal refusal = kBusyText) : ci_(ci), code_(code)
    {
        if (TakeBusy(ci, code)) {
            AddRef(ci);
            held_ = true;
        } else if (refusal == kBusyText) {
            SetBusyText(ci);
        }
    }
    ~OperationGuard()
    {
        if (!held_)
            return;
        if (!keepBusy_)
            ClearBusy(ci_);
        Release(ci_);
    }
    OperationGuard(const OperationGuard &) = delete;
    OperationGuard &operator=(const OperationGuard &) = delete;

    bool Held() const { return held_; }

    /* The operation goes on after the call returns (a message-driven
     * machine): the mark stays and whoever ends the operation clears it; the
     * call's reference is still given back here. */
    void KeepBusy() { keepBusy_ = true; }

    /* A worker thread took over the mark and the reference; it ends both. */
    void HandOver() { held_ = false; }

    /* Closing the previous session clears the mark; the operation that
     * closed it puts its own back. */
    void Remark() { InterlockedExchange(reinterpret_cast<volatile LONG *>(&ci_->busy), (LONG)code_); }

private:
    CINFO *ci_;
    int32_t code_;
    bool held_ = false;
    bool keepBusy_ = false;
};

/* The guard of the copies between two servers: both records or neither.
 * "! busy" goes to the destination, where the copies put their texts. */
class PairGuard {
public:
    PairGuard(CINFO *src, CINFO *dst, int32_t code) : src_(src), dst_(dst)
    {
        if (!TakeBusy(src, code)) {
            SetBusyText(dst);
            return;
        }
        if (dst != src && !TakeBusy(dst, code)) {
            ClearBusy(src);
            SetBusyText(dst);
            return;
        }
        AddRef(src);
        AddRef(dst);
        held_ = true;
    }
    ~PairGuard()
    {
        if (held_)
            End(src_, dst_);
    }
    PairGuard(const PairGuard &) = delete;
    PairGuard &operator=(const PairGuard &) = delete;

    bool Held() const { return held_; }
    void HandOver() { held_ = false; }

    /* Ends a pair operation: what a worker that was handed one calls. */
    static void End(CINFO *src, CINFO *dst)
    {
        ClearBusy(src);
        ClearBusy(dst);
        Release(src);
        Release(dst);
    }

private:
    CINFO *src_;
    CINFO *dst_;
    bool held_ = false;
};

#endif

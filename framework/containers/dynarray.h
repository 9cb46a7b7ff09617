#pragma once
// Growable array of owned item pointers with a lock of its own, so that one
// array can be shared between threads. Grows linearly by a fixed step.

#include <stdlib.h>
#include <string.h>

#include "framework/app/logit.h"
#include "framework/os/osys.h"

// The lock object of an array: an unnamed mutex and a flag that would make
// operations skip locking (nothing sets it).
struct DYNARRAYLOCK
{
    MUTEXSEM Mutex;
    bool NoLocking = false;
};

namespace DYNARRAYHELP
{
    void NameCopy(char* target, const char* name);   // at most 31 characters
    void AssertInsertRange(int pos, int count, const char* file, int line);
    void AssertIndex(int i, int maxItems, int count, const char* typeName, const void* array,
                     const char* file, int line);
}

template <class TYPE>
class DYNARRAY
{
public:
    explicit DYNARRAY(int maxitems = 64, int growth = -1)
        : pLock(new DYNARRAYLOCK), ppItems(0), ItemCount(0), MaxItems(maxitems < 0 ? 0 : maxitems),
          Growth(growth == -1 ? maxitems : growth)
    {
        DYNARRAYHELP::NameCopy(TypeName, "DYNARRAY");
        if (!pLock)
            AssertHandler(0, "pLock", __FILE__, __LINE__, 0, 0);
        ppItems = static_cast<TYPE**>(calloc(MaxItems > 0 ? MaxItems : 1, sizeof(TYPE*)));
        if (!ppItems)
        {
            AssertHandler(0, "this->ppItems", __FILE__, __LINE__, 0, 0);
            MaxItems = 0;
        }
    }

    DYNARRAY(const DYNARRAY& other) : pLock(new DYNARRAYLOCK), ppItems(0), ItemCount(0), MaxItems(0), Growth(0)
    {
        memcpy(TypeName, other.TypeName, sizeof(TypeName));
        CopyFrom(other);
    }

    DYNARRAY& operator=(const DYNARRAY& other)
    {
        if (this != &other)
        {
            Lock();
            Clear(1);
            CopyFrom(other);
            Unlock();
        }
        return *this;
    }

    virtual int Compare(const TYPE* item1, const TYPE* item2, int mode) const
    {
        AssertHandler(0, "FALSE", __FILE__, __LINE__, 0, 0);
        return 0;
    }

    virtual ~DYNARRAY()
    {
        Clear(0);
        delete pLock;
    }

    int Count() const { return ItemCount; }
    int Capacity() const { return MaxItems; }
    const char* GetTypeName() const { return TypeName; }
    void SetTypeName(const char* name) { DYNARRAYHELP::NameCopy(TypeName, name); }

    bool Lock(int timeout = -1) { return pLock ? pLock->Mutex.Request(timeout) : false; }
    void Unlock()
    {
        if (pLock)
            pLock->Mutex.Release();
    }

    TYPE* GetItem(int i, int locked = 0) const
    {
        LockUnless(locked);
        TYPE* item = 0;
        if (i >= 0 && i < ItemCount)
            item = ppItems[i];
        else
            DYNARRAYHELP::AssertIndex(i, MaxItems, ItemCount, TypeName, this, __FILE__, __LINE__);
        UnlockUnless(locked);
        return item;
    }

    // Stores a copy of item at pos; returns pos, or -1 when nothing was inserted.
    int InsertItem(int pos, const TYPE& item, int locked = 0)
    {
        LockUnless(locked);
        int result = -1;
        if (pos < 0 || pos > ItemCount)
        {
            DYNARRAYHELP::AssertInsertRange(pos, ItemCount, __FILE__, __LINE__);
        }
        else if (Grow())
        {
            memmove(ppItems + pos + 1, ppItems + pos, (ItemCount - pos) * sizeof(TYPE*));
            ppItems[pos] = new TYPE(item);
            ItemCount++;
            result = pos;
        }
        UnlockUnless(locked);
        return result;
    }

    int AddItem(const TYPE& item, int locked = 0)
    {
        LockUnless(locked);
        int result = InsertItem(ItemCount, item, 1);
        UnlockUnless(locked);
        return result;
    }

    void DeleteItem(int pos, int locked = 0)
    {
        LockUnless(locked);
        if (pos < 0 || pos >= ItemCount)
        {
            AssertHandler(0, "pos>=0 && pos<this->ItemCount", __FILE__, __LINE__, 0, 0);
        }
        else
        {
            LogitIf(1, "DYNARRAY::DeleteItem is called for pitem= %p\n", (void*)ppItems[pos]);
            delete ppItems[pos];
            memmove(ppItems + pos, ppItems + pos + 1, (ItemCount - pos - 1) * sizeof(TYPE*));
            ItemCount--;
            ppItems[ItemCount] = 0;
        }
        UnlockUnless(locked);
    }

    void DeleteAll()
    {
        Lock();
        for (int i = ItemCount - 1; i >= 0; i--)
            DeleteItem(i, 1);
        Unlock();
    }

    // Destroys every item and the slot array.
    void Clear(int locked = 0)
    {
        LockUnless(locked);
        for (int i = 0; i < ItemCount; i++)
            delete ppItems[i];
        free(ppItems);
        ppItems = 0;
        ItemCount = 0;
        MaxItems = 0;
        UnlockUnless(locked);
    }

    void SwapItems(int pos1, int pos2, int locked = 0)
    {
        LockUnless(locked);
        bool ok = true;
        if (pos1 < 0 || pos1 >= ItemCount)
        {
            AssertHandler(0, "pos1>=0 && pos1<this->ItemCount", __FILE__, __LINE__, 0, 0);
            ok = false;
        }
        if (pos2 < 0 || pos2 >= ItemCount)
        {
            AssertHandler(0, "pos2>=0 && pos2<this->ItemCount", __FILE__, __LINE__, 0, 0);
            ok = false;
        }
        if (ok)
        {
            TYPE* item = ppItems[pos1];
            ppItems[pos1] = ppItems[pos2];
            ppItems[pos2] = item;
        }
        UnlockUnless(locked);
    }

    // Makes room for count more items in one step, still a whole number of
    // growth steps, so that a bulk insert does not reallocate per step.
    void Reserve(int count, int locked = 0)
    {
        LockUnless(locked);
        int missing = ItemCount + count - MaxItems;
        if (missing > 0 && Growth > 0)
            Resize(MaxItems + (missing + Growth - 1) / Growth * Growth);
        UnlockUnless(locked);
    }

    // Mode bits: 1 numeric, 8 descending, 16 case-insensitive. Not stable.
    void Sort(int mode)
    {
        SORTCONTEXT& context = Context();
        context.Lock.Enter();
        if (context.SortThis)
        {
            AssertHandler(0, "DYNARRAY<TYPE>::SortThis==NULL", __FILE__, __LINE__, TypeName, 0);
            context.Lock.Leave();
            return;
        }
        context.SortThis = this;
        context.Mode = mode;
        Lock();
        if (ItemCount > 1)
            qsort(ppItems, ItemCount, sizeof(TYPE*), &DYNARRAY::CompareSlots);
        Unlock();
        context.SortThis = 0;
        context.Mode = 0;
        context.Lock.Leave();
    }

protected:
    char TypeName[32];
    DYNARRAYLOCK* pLock;
    TYPE** ppItems;
    int ItemCount;
    int MaxItems;
    int Growth;

private:
    struct SORTCONTEXT
    {
        CRITSECT Lock;
        const DYNARRAY* SortThis = 0;
        int Mode = 0;
    };

    static SORTCONTEXT& Context()
    {
        static SORTCONTEXT context;
        return context;
    }

    static int CompareSlots(const void* a, const void* b)
    {
        SORTCONTEXT& context = Context();
        const TYPE* item1 = *static_cast<TYPE* const*>(a);
        const TYPE* item2 = *static_cast<TYPE* const*>(b);
        int rc = context.SortThis->Compare(item1, item2, context.Mode);
        if (context.Mode & 8)
            return rc < 0 ? 1 : rc > 0 ? -1 : 0;   // -INT_MIN would stay negative
        return rc;
    }

    void LockUnless(int locked) const
    {
        if (!locked && pLock && !pLock->NoLocking)
            pLock->Mutex.Request(-1);
    }

    void UnlockUnless(int locked) const
    {
        if (!locked && pLock && !pLock->NoLocking)
            pLock->Mutex.Release();
    }

    // Makes room for one more item; false when the array stays full.
    bool Grow()
    {
        if (ItemCount >= MaxItems)
        {
            if (MaxItems + Growth <= ItemCount)
                AssertHandler(0, "this->ItemCount<this->MaxItems", __FILE__, __LINE__, 0, 0);
            else
                Resize(MaxItems + Growth);
        }
        if (ItemCount >= MaxItems)
        {
            AssertHandler(0, "this->ItemCount<this->MaxItems", __FILE__, __LINE__, 0, 0);
            return false;
        }
        return true;
    }

    void Resize(int newMax)
    {
        TYPE** slots = static_cast<TYPE**>(calloc(newMax, sizeof(TYPE*)));
        if (!slots)
        {
            AssertHandler(0, "this->ppItems", __FILE__, __LINE__, 0, 0);
            return;
        }
        if (ppItems && ItemCount > 0)
            memcpy(slots, ppItems, ItemCount * sizeof(TYPE*));
        free(ppItems);
        ppItems = slots;
        MaxItems = newMax;
    }

    // Expects this array empty (no slots); copies other's slots and items.
    void CopyFrom(const DYNARRAY& other)
    {
        const_cast<DYNARRAY&>(other).Lock();
        MaxItems = other.MaxItems;
        Growth = other.Growth;
        ppItems = static_cast<TYPE**>(calloc(MaxItems > 0 ? MaxItems : 1, sizeof(TYPE*)));
        if (!ppItems)
        {
            AssertHandler(0, "this->ppItems", __FILE__, __LINE__, 0, 0);
            MaxItems = 0;
        }
        else
        {
            for (int i = 0; i < other.ItemCount; i++)
                ppItems[i] = new TYPE(*other.ppItems[i]);
            ItemCount = other.ItemCount;
        }
        const_cast<DYNARRAY&>(other).Unlock();
    }
};

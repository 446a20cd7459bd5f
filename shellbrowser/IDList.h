#pragma once
// Item id lists name places in the local namespace. Each item is a 16-bit
// little-endian size (counting its own two bytes) followed by bytes that only
// the issuing folder interprets; a 16-bit zero ends the list. The empty list
// (just the terminator) names the desktop.
//
// ItemIDList owns its bytes, so "releasing" a list is its destructor. A
// default-constructed list is absent ("no list"), which is not the same as the
// empty list.
#include <QByteArray>
#include <QtGlobal>
#include <optional>

class ItemIDList {
public:
    ItemIDList() = default;
    static ItemIDList FromBytes(QByteArray bytes) { return ItemIDList(std::move(bytes)); }
    static ItemIDList Empty() { return ItemIDList(QByteArray(2, '\0')); }
    // One item holding the payload, plus the terminator.
    static ItemIDList FromItem(const QByteArray& payload);

    bool IsNull() const { return !m_bytes.has_value(); }
    explicit operator bool() const { return !IsNull(); }
    // True for the empty list (terminator only).
    bool IsEmpty() const;
    const QByteArray& Bytes() const { return *m_bytes; }
    // The first item's payload (without its size), empty for the empty list.
    QByteArray FirstPayload() const;
    int ItemCount() const;

private:
    explicit ItemIDList(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    std::optional<QByteArray> m_bytes;
};

quint32 IDListSize(const ItemIDList& list);
ItemIDList IDListAlloc(quint32 size);
ItemIDList IDListConcat(const ItemIDList& first, const ItemIDList& second);
ItemIDList IDListCopyFirst(const ItemIDList& list);
ItemIDList IDListNext(const ItemIDList& list);
bool IDListEqual(const ItemIDList& a, const ItemIDList& b);

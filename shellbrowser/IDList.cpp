#include "shellbrowser/IDList.h"
#include <QtEndian>

namespace {
quint16 ItemSizeAt(const QByteArray& bytes, qsizetype offset)
{
    if (offset + 2 > bytes.size())
        return 0;
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}
}

ItemIDList ItemIDList::FromItem(const QByteArray& payload)
{
    Q_ASSERT(payload.size() + 2 <= 0xFFFF);
    QByteArray bytes(payload.size() + 4, '\0');
    qToLittleEndian<quint16>(quint16(payload.size() + 2), bytes.data());
    std::copy(payload.begin(), payload.end(), bytes.begin() + 2);
    return ItemIDList(std::move(bytes));
}

bool ItemIDList::IsEmpty() const
{
    return m_bytes && ItemSizeAt(*m_bytes, 0) == 0;
}

QByteArray ItemIDList::FirstPayload() const
{
    if (!m_bytes)
        return {};
    const quint16 size = ItemSizeAt(*m_bytes, 0);
    return size < 2 ? QByteArray() : m_bytes->mid(2, size - 2);
}

int ItemIDList::ItemCount() const
{
    if (!m_bytes)
        return 0;
    int count = 0;
    for (qsizetype offset = 0; quint16 size = ItemSizeAt(*m_bytes, offset); offset += size)
        ++count;
    return count;
}

quint32 IDListSize(const ItemIDList& list)
{
    if (list.IsNull())
        return 0;
    quint32 total = 0;
    for (quint16 size; (size = ItemSizeAt(list.Bytes(), total)) != 0;)
        total += size;
    return total + 2;
}

ItemIDList IDListAlloc(quint32 size)
{
    return ItemIDList::FromBytes(QByteArray(qsizetype(size), '\0'));
}

ItemIDList IDListConcat(const ItemIDList& first, const ItemIDList& second)
{
    if (second.IsNull())
        return {};
    const quint32 head = first.IsNull() ? 0 : IDListSize(first) - 2;
    QByteArray bytes = first.IsNull() ? QByteArray() : first.Bytes().left(head);
    bytes.append(second.Bytes().left(IDListSize(second)));
    return ItemIDList::FromBytes(std::move(bytes));
}

ItemIDList IDListCopyFirst(const ItemIDList& list)
{
    if (list.IsNull())
        return {};
    const quint16 size = ItemSizeAt(list.Bytes(), 0);
    ItemIDList copy = IDListAlloc(quint32(size) + 2);
    QByteArray bytes = copy.Bytes();
    std::copy_n(list.Bytes().constData(), size, bytes.data());
    return ItemIDList::FromBytes(std::move(bytes));
}

ItemIDList IDListNext(const ItemIDList& list)
{
    if (list.IsNull())
        return {};
    const quint16 size = ItemSizeAt(list.Bytes(), 0);
    if (size == 0)
        return {};
    return ItemIDList::FromBytes(list.Bytes().mid(size));
}

bool IDListEqual(const ItemIDList& a, const ItemIDList& b)
{
    if (a.IsNull() || b.IsNull())
        return a.IsNull() && b.IsNull();
    const quint32 size = IDListSize(a);
    return size == IDListSize(b) && a.Bytes().left(size) == b.Bytes().left(size);
}

#include "app/RemoteListing.h"

#include <QStringView>

namespace {

// Leading spaces and tabs.
QStringView BlankTrim(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    return s.mid(i);
}

// Leading and trailing characters up to and including the space.
QStringView Trim(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= 32)
        ++b;
    while (e > b && s[e - 1].unicode() <= 32)
        --e;
    return s.mid(b, e - b);
}

// Splits the next space-delimited field off W; with no space left, the field is empty
// and W stays as it is.
QString NextField(QStringView& W)
{
    const qsizetype p = W.indexOf(u' ');
    if (p < 0)
        return QString();
    const QString field = BlankTrim(Trim(W.left(p + 1))).toString();
    W = BlankTrim(W.mid(p + 1));
    return field;
}

bool IsNumber(const QString& s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (!c.isDigit())
            return false;
    return true;
}

// The day of a date: one or two digits, unlike a year or a time.
bool IsDay(const QString& s)
{
    return IsNumber(s) && s.size() <= 2;
}

// Whether fields t3 to t6 of a line read without the group column are in fact its
// group, size and the first two date fields (the time, a ":", is caught by the name).
// The month is the one field of the date that is not a number: with the group column
// it comes one field later, so "size month day" and "size day month" both shift.
bool HasGroupColumn(const QString& t4, const QString& t5, const QString& t6)
{
    const bool monthFirst = IsNumber(t4) && !IsNumber(t5) && IsDay(t6); // group size Jan 1 | 1999 name
    const bool dayFirst = IsNumber(t4) && IsDay(t5) && !IsNumber(t6);   // group size 1 Jan | 1999 name
    return monthFirst || dayFirst;
}

bool IsDotName(const QString& name)
{
    return name == u"." || name == u"..";
}

// Rights and the working text after them.
QString SplitRights(const QString& line, QStringView& W)
{
    const QStringView all(line);
    W = BlankTrim(all.mid(qMin<qsizetype>(10, all.size())));
    return BlankTrim(Trim(all.left(10))).toString();
}

} // namespace

bool TRemoteEntry::IsFolder() const
{
    return TypeName.toUpper() == kFolderTypeName.toUpper();
}

std::optional<TListingFields> ParseListingLine(const QString& line)
{
    QStringView W;
    TListingFields f;
    f.Rights = SplitRights(line, W);
    NextField(W); // links
    NextField(W); // owner
    const QString t3 = NextField(W), t4 = NextField(W), t5 = NextField(W), t6 = NextField(W);
    const QString name = W.toString();
    // A time still in the name means the line has a group column after all; a year
    // instead of a time leaves no ":" to tell, so then the date's shape decides.
    if (name.contains(u':') || HasGroupColumn(t4, t5, t6))
        return ParseLongListingLine(line);
    if (IsDotName(name))
        return std::nullopt;
    f.Name = name;
    f.Size = t3;
    f.Modified = t5 + u' ' + t4 + u' ' + t6;
    return f;
}

std::optional<TListingFields> ParseLongListingLine(const QString& line)
{
    QStringView W;
    TListingFields f;
    f.Rights = SplitRights(line, W);
    NextField(W); // links
    NextField(W); // owner
    NextField(W); // group
    const QString t4 = NextField(W), t5 = NextField(W), t6 = NextField(W), t7 = NextField(W);
    const QString name = W.toString();
    if (IsDotName(name))
        return std::nullopt;
    f.Name = name;
    f.Size = t4;
    f.Modified = t6 + u' ' + t5 + u' ' + t7;
    return f;
}

std::optional<TListingFields> ParseListItem(const QString& line)
{
    if (line.size() <= kShortestListingLine)
        return std::nullopt;
    return ParseListingLine(line);
}

TRemoteEntry LayoutEntry(const TListingFields& fields,
                         const std::function<TRemoteFileInfo(const QString&)>& GetInfo)
{
    TRemoteEntry e;
    if (!fields.Rights.isEmpty() && fields.Rights[0].toUpper() == u'D') {
        e.Caption = fields.Name;
        e.TypeName = kFolderTypeName;
        e.ImageIndex = kFolderImage;
        return e;
    }
    e.Caption = Trim(fields.Name).toString();
    e.Size = fields.Size;
    const TRemoteFileInfo info = GetInfo(fields.Name);
    e.TypeName = info.TypeName;
    e.ImageIndex = info.ImageIndex;
    e.Modified = fields.Modified;
    e.Rights = fields.Rights;
    return e;
}

TRemoteEntry UpEntry()
{
    TRemoteEntry e;
    e.Caption = QStringLiteral("..");
    e.TypeName = kFolderTypeName;
    e.ImageIndex = kFolderImage;
    return e;
}

QString RemoteFileExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0 || dot < name.lastIndexOf(u'/'))
        return QString();
    return name.mid(dot + 1);
}

QString DefaultTypeName(const QString& extension)
{
    return (extension.toUpper() + QStringLiteral(" file")).trimmed();
}

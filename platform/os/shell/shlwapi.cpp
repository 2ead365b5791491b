// Path text helpers, loaded by name as "shlwapi.dll". Both "\" and "/" separate
// path elements; the separators are kept as written.
#include <windows.h>

#include <vector>

namespace
{
bool isSeparator(char16_t c)
{
    return c == u'\\' || c == u'/';
}
} // namespace

// Removes "." elements and folds ".." into the element before it; ".." at the top is dropped.
extern "C" __attribute__((visibility("default"))) BOOL PathCanonicalizeW(LPWSTR target, LPCWSTR source)
{
    if (!target || !source)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string_view path(source);
    const bool rooted = !path.empty() && isSeparator(path[0]);
    std::vector<std::u16string> elements;
    std::vector<char16_t> separators;
    size_t start = rooted ? 1 : 0;
    char16_t separator = rooted ? path[0] : u'\\';
    const bool trailing = path.size() > 1 && isSeparator(path.back());
    while (start <= path.size())
    {
        size_t end = start;
        while (end < path.size() && !isSeparator(path[end]))
            ++end;
        const std::u16string element(path.substr(start, end - start));
        if (element == u"..")
        {
            if (!elements.empty())
            {
                elements.pop_back();
                separators.pop_back();
            }
        }
        else if (!element.empty() && element != u".")
        {
            elements.push_back(element);
            separators.push_back(separator);
        }
        if (end < path.size())
            separator = path[end];
        start = end + 1;
    }
    std::u16string result = rooted ? std::u16string(1, path[0]) : u"";
    for (size_t i = 0; i < elements.size(); ++i)
        result += (i == 0 ? u"" : std::u16string(1, separators[i])) + elements[i];
    if (trailing && !elements.empty())
        result.push_back(path.back());
    if (result.size() >= MAX_PATH)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::copy(result.begin(), result.end(), target);
    target[result.size()] = u'\0';
    return TRUE;
}

// Absolute paths start with a separator or a drive ("C:").
extern "C" __attribute__((visibility("default"))) BOOL PathIsRelativeW(LPCWSTR path)
{
    if (!path || !*path)
        return TRUE;
    if (isSeparator(path[0]))
        return FALSE;
    return path[1] == u':' ? FALSE : TRUE;
}

// Turning damage reports and buffer commits into frames shown.
#include "frame_tally.h"

void DamageTally::damaged(unsigned long drawable, int width, int height)
{
    if (drawable != mWindow || width <= 0 || height <= 0)
        return;
    ++mReports;
    mDamaged = true;
}

void DamageTally::endBatch()
{
    if (mDamaged)
        ++mFrames;
    mDamaged = false;
}

namespace
{

const std::string_view kMarkPrefix = "velmora-bench: mark ";

// A line of libwayland's log: "[seconds.fraction]" first, a request or an event after.
bool isLogLine(std::string_view text)
{
    size_t close = text.find(']');
    if (text.size() < 4 || text[0] != '[' || close == std::string_view::npos || close < 2)
        return false;
    std::string_view stamp = text.substr(1, close - 1);
    return stamp.find_first_not_of("0123456789.") == std::string_view::npos &&
           stamp.find('.') != std::string_view::npos;
}

// The object of a logged request, "wl_surface@7" or "wl_surface#7" as
// "wl_surface 7", and its request's name and arguments; false for other lines.
bool parseRequest(std::string_view text, std::string* object, std::string_view* request,
                  std::string_view* arguments)
{
    size_t arrow = text.find(" -> ");
    if (arrow == std::string_view::npos || text.empty() || text[0] != '[')
        return false;
    std::string_view call = text.substr(arrow + 4);
    while (!call.empty() && call.front() == ' ')
        call.remove_prefix(1);
    size_t sign = call.find_first_of("@#");
    size_t dot = call.find('.', sign == std::string_view::npos ? 0 : sign);
    size_t open = call.find('(', dot == std::string_view::npos ? 0 : dot);
    if (sign == std::string_view::npos || sign == 0 || dot == std::string_view::npos ||
        open == std::string_view::npos || call.back() != ')')
        return false;
    std::string_view id = call.substr(sign + 1, dot - sign - 1);
    if (id.empty() || id.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    *object = std::string(call.substr(0, sign)) + " " + std::string(id);
    *request = call.substr(dot + 1, open - dot - 1);
    *arguments = call.substr(open + 1, call.size() - open - 2);
    return true;
}

}

bool CommitTally::line(std::string_view text)
{
    std::string object;
    std::string_view request, arguments;
    if (!isLogLine(text))
        return false;
    if (!parseRequest(text, &object, &request, &arguments))
        return true;
    if (object.rfind("wl_surface ", 0) != 0)
        return true;
    if (request == "attach")
    {
        if (arguments.rfind("nil", 0) == 0)
            mAttached.erase(object);
        else
            mAttached.insert(object);
    }
    else if (request == "commit")
    {
        ++mCommits;
        if (mAttached.erase(object))
            ++mFrames;
    }
    return true;
}

std::string frameMarkLine(const std::string& name)
{
    return std::string(kMarkPrefix) + name;
}

std::string frameMarkName(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    if (text.size() <= kMarkPrefix.size() || text.substr(0, kMarkPrefix.size()) != kMarkPrefix)
        return "";
    return std::string(text.substr(kMarkPrefix.size()));
}

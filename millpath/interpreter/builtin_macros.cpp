#include "builtin_macros.h"

#include <cctype>
#include <cstring>
#include <sstream>
#include <vector>

namespace
{
using BuiltinMacros::Entry;

struct Name
{
    const char* name;
    Entry entry;
};

const Name Names[] = {
    {"ExitHighParam", Entry::ExitHighParam},
    {"EdgeRadiusValidation", Entry::EdgeRadiusValidation},
    {"CmpSide1Position", Entry::CmpSide1Position},
    {"CmpSide2Position", Entry::CmpSide2Position},
    {"CmpSide3Position", Entry::CmpSide3Position},
    {"CmpSide4Position", Entry::CmpSide4Position},
    {"SetXY_OffsetPosSideG36", Entry::SetOffsetG36},
    {"SetXY_OffsetPosSideG37", Entry::SetOffsetG37},
    {"macroG36", Entry::MacroG36},
    {"macroG37", Entry::MacroG37},
    {"macroG38", Entry::MacroG38},
    {"macroG39", Entry::MacroG39},
};

// Postfix text of an infix expression of operands (G<n>, X1<d>, numbers)
// and operators, evaluated strictly from left to right as the executor does.
std::string expr(const std::string& infix)
{
    std::istringstream in(infix);
    std::string token;
    std::string out;
    std::string op;
    while (in >> token)
    {
        if (token == "+" || token == "-" || token == "*" || token == "/")
        {
            op = token;
            continue;
        }
        out += "pushc" + token + " ";
        if (!op.empty())
            out += "calc " + op + " ";
        op.clear();
    }
    return out;
}

std::string assign(const std::string& destination, const std::string& infix)
{
    return expr(infix) + "popc" + destination + " ";
}

// Register of the first, second or third axis ("X11", "X12", "X13").
std::string axis(int a)
{
    return "X1" + std::to_string(a);
}

// A test of the side comparisons: store the value, compare the axis with it.
std::string test(const std::string& reg, const std::string& infix, int a, const char* relation)
{
    return assign(reg, infix) + "pushc" + axis(a) + " pushc" + reg + " calc " + relation + " ";
}

struct Direction
{
    int axis; // 1 first axis, 2 second axis
    int sign; // +1 or -1
};

// Travel directions of the start edges of sides 1 to 4 for G36 (clockwise:
// top to the right, right side down, bottom to the left, left side up) and for
// G37 (counter-clockwise, the opposite senses).
const Direction Clockwise[4] = {{1, +1}, {2, -1}, {1, -1}, {2, +1}};
const Direction CounterClockwise[4] = {{1, -1}, {2, +1}, {1, +1}, {2, -1}};

// The four edge directions of a contour that starts on side (1..4).
void edges(int cycle, int side, Direction (&d)[4])
{
    for (int k = 0; k < 4; ++k)
    {
        // Clockwise the next edge is the next side; counter-clockwise the previous one.
        const int index = cycle == 36 ? (side - 1 + k) % 4 : (side - 1 - k + 4) % 4;
        d[k] = cycle == 36 ? Clockwise[index] : CounterClockwise[index];
    }
}

std::string length(int a)
{
    return a == 1 ? "G6" : "G7";
}

std::string offset(int a)
{
    return a == 1 ? "G18" : "G19";
}

// "X1a + <terms>" or "X1a - <terms>" where the terms are given for the + sense.
std::string moveBy(const Direction& d, const std::string& plusTerms, const std::string& minusTerms)
{
    return assign(axis(d.axis), axis(d.axis) + (d.sign > 0 ? " + " + plusTerms : " - " + minusTerms));
}

// The retract back to the start height ends every contour, in linear mode.
const char* const Retract = "G1 pushcX13 pushcG12 calc + popcX13 pushcG5 popcF \nreturn";

std::string rectangleWithArcs(int cycle, int side)
{
    Direction d[4];
    edges(cycle, side, d);
    const std::string arc = cycle == 36 ? "G2 " : "G3 ";
    std::string text = "G" + std::to_string(cycle) + " G0 " + assign("X13", "X13 + G0") + "\n";
    text += "G1 " + assign("X13", "X13 + G1") + "pushcG5 popcF \n";
    text += moveBy(d[0], offset(d[0].axis), offset(d[0].axis)) + "pushcG8 popcF \n";
    for (int k = 1; k <= 4; ++k)
    {
        const Direction& from = d[k - 1];
        const Direction& to = d[k % 4];
        text += arc + moveBy(from, "G9", "G9") + moveBy(to, "G9", "G9") + "pushcG9 " +
                (to.sign < 0 ? "calc neg " : "") + (to.axis == 1 ? "popcI " : "popcJ ") + "\n";
        const std::string l = length(to.axis);
        if (k < 4)
            text += "G1 " + moveBy(to, l + " - G9 - G9", l + " + G9 + G9") + "\n";
        else
        {
            // The last edge closes the start offset.
            const std::string o = offset(to.axis);
            text += "G1 " + moveBy(to, l + " - G9 - G9 - " + o, l + " + G9 + G9 + " + o) + "\n";
        }
    }
    return text + Retract;
}

std::string rectanglePlain(int cycle, int side)
{
    Direction d[4];
    edges(cycle, side, d);
    std::string text = "G1 " + assign("X13", "X13 + G0 + G1") + "pushcG5 popcF \n";
    // The corner at the end of the start edge, absolute.
    const Direction& first = d[0];
    if (first.axis == 1)
        text += assign("X11", first.sign > 0 ? "G2 + G13" : "G2 - G13");
    else
        text += assign("X12", first.sign > 0 ? "G3 - G14" : "G3 + G14");
    text += "pushcG8 popcF \n";
    for (int k = 1; k < 4; ++k)
        text += moveBy(d[k], length(d[k].axis), length(d[k].axis)) + "\n";
    const std::string o = offset(first.axis);
    text += assign(o, length(first.axis) + " - " + o) + moveBy(first, o, o) + "\n";
    return text + Retract;
}

std::string circle(int cycle)
{
    std::string text = assign("G10", "X11 - G2") + assign("G11", "X12 - G3") +
                       "pushcG10 calc sqr pushcG11 calc sqr " + "calc + calc sqrt popcG10 \n";
    text += "G1 " + assign("X13", "X13 + G0 + G1") + "pushcG5 popcF \n";
    text += std::string(cycle == 38 ? "G2 " : "G3 ") + "X11 X12 " + assign("I", "G2 - X11") +
            assign("J", "G3 - X12") + "pushcG6 popcF \n";
    return text + Retract;
}

// Every text in the order of its id (id 1 is the first).
struct Texts
{
    std::vector<std::string> all;
    int exitHighParam = 0;
    int edgeRadius = 0;
    int sides[4] = {};
    int offsets[2][4] = {};
    int rectangles[2][4][2] = {};
    int circles[2] = {};

    int add(std::string text)
    {
        all.push_back(std::move(text));
        return static_cast<int>(all.size());
    }

    Texts()
    {
        exitHighParam = add("pushc-1.0 pushcG0 calc * pushcG1 calc - popcG12 return");
        edgeRadius = add("pushcG9 pushc0.0 calc = return");
        sides[0] = add(test("G16", "G2 - G13 + G9", 1, ">") + test("G16", "G2 + G13 - G9", 1, "<") +
                       test("G17", "G3 - G14", 2, "=") + "return");
        sides[1] = add(test("G16", "G2 + G13", 1, "=") + test("G17", "G3 - G14 - G9", 2, "<") +
                       test("G17", "G3 + G14 + G9", 2, ">") + "return");
        sides[2] = add(test("G16", "G2 + G13 - G9", 1, "<") + test("G17", "G2 - G13 + G9", 1, ">") +
                       test("G17", "G3 + G14", 2, "=") + "return");
        sides[3] = add(test("G16", "G3 + G14", 2, ">") + test("G17", "G3 - G14 - G9", 2, "<") +
                       test("G17", "G2 - G13", 1, "=") + "return");
        const char* const starts[2][4] = {
            {"G18 G2 + G13 - G9 - X11", "G19 X12 - G3 - G14 - G9", "G18 X11 - G2 - G9 + G13",
             "G19 G3 - G14 - G9 - X12"},
            {"G18 X11 - G2 + G13 - G9", "G19 G3 - G14 - G9 - X12", "G18 G2 + G13 - G9 - X11",
             "G19 X12 - G3 - G14 - G9"},
        };
        for (int c = 0; c < 2; ++c)
            for (int s = 0; s < 4; ++s)
            {
                const std::string line = starts[c][s];
                offsets[c][s] = add(assign(line.substr(0, 3), line.substr(4)) + "return");
            }
        for (int c = 0; c < 2; ++c)
            for (int s = 0; s < 4; ++s)
            {
                rectangles[c][s][0] = add(rectanglePlain(36 + c, s + 1));
                rectangles[c][s][1] = add(rectangleWithArcs(36 + c, s + 1));
            }
        circles[0] = add(circle(38));
        circles[1] = add(circle(39));
    }
};

const Texts& texts()
{
    static const Texts t;
    return t;
}

int clampSide(int side)
{
    return side < 1 ? 0 : (side > 4 ? 3 : side - 1);
}
} // namespace

namespace BuiltinMacros
{
bool findEntry(const char* text, std::size_t available, Entry& entry, std::size_t& nameLength)
{
    std::size_t best = 0;
    for (const Name& n : Names)
    {
        const std::size_t length = std::strlen(n.name);
        if (length > available || length <= best)
            continue;
        if (std::toupper(static_cast<unsigned char>(text[0])) !=
                std::toupper(static_cast<unsigned char>(n.name[0])) ||
            std::strncmp(text + 1, n.name + 1, length - 1) != 0)
            continue;
        best = length;
        entry = n.entry;
    }
    nameLength = best;
    return best > 0;
}

int exitHighParamText()
{
    return texts().exitHighParam;
}

int edgeRadiusValidationText()
{
    return texts().edgeRadius;
}

int sideComparisonText(int side)
{
    return texts().sides[clampSide(side)];
}

int startOffsetText(int cycle, int side)
{
    return texts().offsets[cycle == 37 ? 1 : 0][clampSide(side)];
}

int rectangleText(int cycle, int side, bool arcs)
{
    return texts().rectangles[cycle == 37 ? 1 : 0][clampSide(side)][arcs ? 1 : 0];
}

int circleText(int cycle)
{
    return texts().circles[cycle == 39 ? 1 : 0];
}

const std::string& text(int id)
{
    static const std::string none;
    const auto& all = texts().all;
    return id >= 1 && static_cast<std::size_t>(id) <= all.size() ? all[static_cast<std::size_t>(id) - 1]
                                                                 : none;
}
} // namespace BuiltinMacros

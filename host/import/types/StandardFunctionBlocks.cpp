#include "import/types/StandardFunctionBlocks.h"

#include "text/HostText.h"

#include <initializer_list>
#include <vector>

namespace {

struct Var {
    VarSection section;
    const char* name;
    const char* type;
};

PouDecl Block(const char* name, std::initializer_list<Var> variables) {
    PouDecl pou;
    pou.name = name;
    pou.kind = PouKind::FunctionBlock;
    pou.comment = "standard function block";
    for (const Var& var : variables) {
        VariableDecl decl;
        decl.name = var.name;
        decl.section = var.section;
        decl.type.kind = TypeRef::Kind::Elementary;
        decl.type.name = var.type;
        pou.variables.push_back(std::move(decl));
    }
    return pou;
}

constexpr VarSection kIn = VarSection::Input;
constexpr VarSection kOut = VarSection::Output;
constexpr VarSection kLocal = VarSection::Local;

std::vector<PouDecl> MakeBlocks() {
    const std::initializer_list<Var> timer = {
        {kIn, "IN", "BOOL"}, {kIn, "PT", "TIME"}, {kOut, "Q", "BOOL"}, {kOut, "ET", "TIME"}};
    const std::initializer_list<Var> trigger = {
        {kIn, "CLK", "BOOL"}, {kOut, "Q", "BOOL"}, {kLocal, "M", "BOOL"}};
    const std::initializer_list<Var> python = {{kIn, "TRIG", "BOOL"},
                                               {kIn, "CODE", "STRING"},
                                               {kOut, "ACK", "BOOL"},
                                               {kOut, "RESULT", "STRING"}};
    std::vector<PouDecl> blocks;
    blocks.push_back(Block("TON", timer));
    blocks.push_back(Block("TOF", timer));
    blocks.push_back(Block("TP", timer));
    blocks.push_back(Block("R_TRIG", trigger));
    blocks.push_back(Block("F_TRIG", trigger));
    blocks.push_back(Block("RS", {{kIn, "S", "BOOL"}, {kIn, "R1", "BOOL"}, {kOut, "Q1", "BOOL"}}));
    blocks.push_back(Block("SR", {{kIn, "S1", "BOOL"}, {kIn, "R", "BOOL"}, {kOut, "Q1", "BOOL"}}));
    blocks.push_back(Block("CTU", {{kIn, "CU", "BOOL"},
                                   {kIn, "R", "BOOL"},
                                   {kIn, "PV", "INT"},
                                   {kOut, "Q", "BOOL"},
                                   {kOut, "CV", "INT"}}));
    blocks.push_back(Block("CTD", {{kIn, "CD", "BOOL"},
                                   {kIn, "LD", "BOOL"},
                                   {kIn, "PV", "INT"},
                                   {kOut, "Q", "BOOL"},
                                   {kOut, "CV", "INT"}}));
    blocks.push_back(Block("CTUD", {{kIn, "CU", "BOOL"},
                                    {kIn, "CD", "BOOL"},
                                    {kIn, "R", "BOOL"},
                                    {kIn, "LD", "BOOL"},
                                    {kIn, "PV", "INT"},
                                    {kOut, "QU", "BOOL"},
                                    {kOut, "QD", "BOOL"},
                                    {kOut, "CV", "INT"}}));
    blocks.push_back(
        Block("RTC",
              {{kIn, "IN", "BOOL"}, {kIn, "PDT", "DT"}, {kOut, "Q", "BOOL"}, {kOut, "CDT", "DT"}}));
    blocks.push_back(Block("python_eval", python));
    blocks.push_back(Block("python_poll", python));
    blocks.push_back(Block("python_gear", {{kIn, "N", "UINT"},
                                           {kIn, "TRIG", "BOOL"},
                                           {kIn, "CODE", "STRING"},
                                           {kOut, "ACK", "BOOL"},
                                           {kOut, "RESULT", "STRING"}}));
    return blocks;
}

} // namespace

const PouDecl* StandardFunctionBlocks::Find(std::string_view name) {
    static const std::vector<PouDecl> blocks = MakeBlocks();
    for (const PouDecl& block : blocks) {
        if (EqualsNoCase(block.name, name)) {
            return &block;
        }
    }
    return nullptr;
}

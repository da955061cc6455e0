#pragma once
// The tree a formula parses into. Nodes keep the character offset they start at, so that later
// checks (unknown function, argument out of range) can point at the offending text.
#include <cstddef>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace vx::calc {

struct Node;
using NodePtr = std::unique_ptr<Node>;

struct NumberNode {
    double value;
};

// Ch<n>, Channel<n> (plain), RCh<n> (raw, unscaled samples), vCh<n> (the channel as shown in
// position n, which may itself be computed). The number is stored 0-based.
struct ChannelNode {
    enum class Kind { Plain, Raw, View };
    Kind kind;
    int index;
};

struct NameNode {
    std::wstring name;
};

struct UnaryNode {
    wchar_t op; // '-' or '+'
    NodePtr operand;
};

struct BinaryNode {
    wchar_t op; // '+', '-', '*', '/'
    NodePtr left;
    NodePtr right;
};

struct CallNode {
    std::wstring name; // as written
    std::vector<NodePtr> args;
};

struct Node {
    std::size_t position;
    std::variant<NumberNode, ChannelNode, NameNode, UnaryNode, BinaryNode, CallNode> value;
};

} // namespace vx::calc

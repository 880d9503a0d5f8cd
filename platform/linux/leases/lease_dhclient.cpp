// dhclient's lease files: a sequence of "lease { ... }" blocks, newest last.
#include <time.h>

#include <cerrno>
#include <optional>

#include "interface_names.h"
#include "lease_parsers.h"
#include "posix.h"
#include "text_fields.h"

namespace {

enum class TokenKind { Word, String, Open, Close, Semicolon, Comma, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string_view text;  // a string's contents without the quotes, escapes kept
};

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The next token of *rest, which it leaves behind. An unterminated string
// also ends the input: what follows it is torn.
Token NextToken(std::string_view* rest)
{
    std::string_view& text = *rest;
    for (;;) {
        while (!text.empty() && IsSpace(text.front())) {
            text.remove_prefix(1);
        }
        if (text.empty() || text.front() != '#') {
            break;
        }
        size_t end = text.find('\n');
        text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    }
    constexpr std::string_view kPunctuation = "{};,";
    constexpr TokenKind kPunctuationKinds[] = {TokenKind::Open, TokenKind::Close,
                                               TokenKind::Semicolon, TokenKind::Comma};
    size_t length = 0;
    TokenKind kind = TokenKind::Word;
    if (text.empty()) {
        return {};
    } else if (size_t at = kPunctuation.find(text.front()); at != std::string_view::npos) {
        kind = kPunctuationKinds[at];
        length = 1;
    } else if (text.front() == '"') {
        for (length = 1; length < text.size() && text[length] != '"'; length++) {
            length += text[length] == '\\';
        }
        if (length >= text.size()) {
            text = {};
            return {};
        }
        Token token{TokenKind::String, text.substr(1, length - 1)};
        text.remove_prefix(length + 1);
        return token;
    } else {
        while (length < text.size() && !IsSpace(text[length]) &&
               std::string_view("{};,\"#").find(text[length]) == std::string_view::npos) {
            length++;
        }
    }
    Token token{kind, text.substr(0, length)};
    text.remove_prefix(length);
    return token;
}

constexpr size_t kMaxStatementTokens = 256;

// What a block says, in the statements' own terms.
struct LeaseBlock {
    std::string interface;
    LeaseFacts facts;  // address, server and WINS servers
    std::optional<uint32_t> leaseTime;
    std::optional<uint32_t> renewalTime;
    std::optional<int64_t> expire;  // absent also for "never"
    bool expireNever = false;
    std::optional<int64_t> renew;
};

bool IsWord(const Token& token, std::string_view text)
{
    return token.kind == TokenKind::Word && token.text == text;
}

// Splits "a<sep>b<sep>c" into exactly three bounded decimal fields: 0,
// EBADMSG when there are not three, or ParseDecimal's error.
int ParseTriple(std::string_view text, char separator, const uint64_t (&max)[3],
                uint64_t (&fields)[3])
{
    for (int i = 0; i < 3; i++) {
        size_t end = i < 2 ? text.find(separator) : text.size();
        if (end == std::string_view::npos) {
            return EBADMSG;
        }
        if (int error = ParseDecimal(text.substr(0, end), max[i], &fields[i]); error != 0) {
            return error;
        }
        text.remove_prefix(i < 2 ? end + 1 : end);
    }
    return 0;
}

// "epoch N" or "W YYYY/MM/DD HH:MM:SS" (UTC; the weekday is not checked).
std::optional<int64_t> ParseLeaseTime(const std::vector<Token>& words)
{
    uint64_t value = 0;
    if (words.size() == 3 && IsWord(words[1], "epoch") && words[2].kind == TokenKind::Word &&
        ParseDecimal(words[2].text, INT64_MAX, &value) == 0) {
        return static_cast<int64_t>(value);
    }
    if (words.size() != 4 || words[2].kind != TokenKind::Word || words[3].kind != TokenKind::Word) {
        return std::nullopt;
    }
    uint64_t date[3];
    uint64_t time[3];
    if (ParseTriple(words[2].text, '/', {9999, 12, 31}, date) != 0 ||
        ParseTriple(words[3].text, ':', {23, 59, 60}, time) != 0) {
        return std::nullopt;
    }
    // timegm moves a day past its month's end into the next month: such a
    // date is none. The time is added apart, as 23:59:60 would move it too.
    tm day = {};
    day.tm_year = static_cast<int>(date[0]) - 1900;
    day.tm_mon = static_cast<int>(date[1]) - 1;
    day.tm_mday = static_cast<int>(date[2]);
    int64_t midnight = timegm(&day);
    if (date[0] < 1970 || day.tm_mon + 1 != static_cast<int>(date[1]) ||
        day.tm_mday != static_cast<int>(date[2])) {
        return std::nullopt;
    }
    return midnight + static_cast<int64_t>(time[0] * 3600 + time[1] * 60 + time[2]);
}

std::optional<uint32_t> ParseSeconds(const std::vector<Token>& words)
{
    uint64_t value = 0;
    if (words.size() != 3 || words[2].kind != TokenKind::Word ||
        ParseDecimal(words[2].text, UINT32_MAX, &value) != 0) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

// A list that is not entirely valid is dropped, so that a later entry never
// moves up into the primary's place.
std::vector<Ipv4Bytes> ParseAddressList(const std::vector<Token>& words)
{
    std::vector<Ipv4Bytes> list;
    for (size_t i = 2; i < words.size(); i++) {
        bool wantAddress = (i - 2) % 2 == 0;
        if (wantAddress) {
            Ipv4Bytes address;
            if (words[i].kind != TokenKind::Word || ParseIpv4(words[i].text, &address) != 0) {
                return {};
            }
            list.push_back(address);
        } else if (words[i].kind != TokenKind::Comma || i + 1 == words.size()) {
            return {};
        }
    }
    return list;
}

void ApplyStatement(const std::vector<Token>& words, LeaseBlock* block)
{
    if (words.empty()) {
        return;
    }
    if (IsWord(words[0], "interface")) {
        if (words.size() == 2 && words[1].kind == TokenKind::String && !words[1].text.empty() &&
            words[1].text.size() <= kMaxInterfaceName) {
            block->interface = std::string(words[1].text);
        }
    } else if (IsWord(words[0], "fixed-address")) {
        block->facts.haveAddress = words.size() == 2 && words[1].kind == TokenKind::Word &&
                                   ParseIpv4(words[1].text, &block->facts.address) == 0;
    } else if (IsWord(words[0], "expire")) {
        block->expire = ParseLeaseTime(words);
        block->expireNever = words.size() == 2 && IsWord(words[1], "never");
    } else if (IsWord(words[0], "renew")) {
        block->renew = ParseLeaseTime(words);
    } else if (IsWord(words[0], "option") && words.size() >= 2) {
        const Token& name = words[1];
        if (IsWord(name, "dhcp-server-identifier")) {
            block->facts.haveServer =
                words.size() == 3 && ParseIpv4(words[2].text, &block->facts.server) == 0;
        } else if (IsWord(name, "netbios-name-servers")) {
            block->facts.wins = ParseAddressList(words);
        } else if (IsWord(name, "dhcp-lease-time")) {
            block->leaseTime = ParseSeconds(words);
        } else if (IsWord(name, "dhcp-renewal-time")) {
            block->renewalTime = ParseSeconds(words);
        }
    }
}

// Skips the rest of a block whose "{" was read: 0, or EBADMSG when the
// input ends inside it.
int SkipBlock(std::string_view* rest)
{
    size_t depth = 1;
    for (Token token = NextToken(rest); token.kind != TokenKind::End; token = NextToken(rest)) {
        if (token.kind == TokenKind::Open) {
            depth++;
        } else if (token.kind == TokenKind::Close && --depth == 0) {
            return 0;
        }
    }
    return EBADMSG;
}

// 0, or EBADMSG when the input ends inside the block.
int ReadLeaseBlock(std::string_view* rest, LeaseBlock* block)
{
    std::vector<Token> words;
    bool overlong = false;
    for (Token token = NextToken(rest); token.kind != TokenKind::End; token = NextToken(rest)) {
        switch (token.kind) {
            case TokenKind::Close:
                return 0;
            case TokenKind::Open:
                words.clear();
                if (int error = SkipBlock(rest); error != 0) {
                    return error;
                }
                break;
            case TokenKind::Semicolon:
                if (!overlong) {
                    ApplyStatement(words, block);
                }
                words.clear();
                overlong = false;
                break;
            default:
                if (words.size() < kMaxStatementTokens) {
                    words.push_back(token);
                } else {
                    overlong = true;
                }
                break;
        }
    }
    return EBADMSG;
}

LeaseFacts FactsFromBlock(LeaseBlock& block)
{
    LeaseFacts facts = std::move(block.facts);
    // An infinite lease is written as "never" by some versions and as the
    // bind time plus 2^32 - 1 seconds by others.
    if (block.expireNever || block.leaseTime == UINT32_MAX) {
        facts.end = LeaseEnd::kNever;
    } else if (block.expire) {
        facts.end = LeaseEnd::kAt;
        facts.expires = *block.expire;
    }
    std::optional<int64_t> obtained;
    if (block.expire && block.leaseTime) {
        obtained = *block.expire - *block.leaseTime;
    } else if (block.renew && block.renewalTime) {
        obtained = *block.renew - *block.renewalTime;
    }
    if (obtained && *obtained >= 0 && (!block.expire || *obtained <= *block.expire)) {
        facts.obtainedKnown = true;
        facts.obtained = *obtained;
    }
    if (block.renew) {
        facts.renews = *block.renew;
    }
    return facts;
}

}  // namespace

std::unordered_map<std::string, LeaseFacts> ParseDhclientLeases(std::string_view text,
                                                                std::string_view fileInterface)
{
    std::unordered_map<std::string, LeaseFacts> leases;
    size_t statementTokens = 0;
    bool statementIsLease = false;
    for (Token token = NextToken(&text); token.kind != TokenKind::End; token = NextToken(&text)) {
        if (token.kind == TokenKind::Open) {
            bool isLease = statementIsLease && statementTokens == 1;
            statementTokens = 0;
            // A block the input ends inside is torn: the file ends there.
            if (!isLease) {
                if (SkipBlock(&text) != 0) {
                    break;
                }
                continue;
            }
            LeaseBlock block;
            if (ReadLeaseBlock(&text, &block) != 0) {
                break;
            }
            if (!fileInterface.empty()) {
                block.interface = std::string(fileInterface);
            }
            if (!block.interface.empty()) {
                leases[block.interface] = FactsFromBlock(block);
            }
        } else if (token.kind == TokenKind::Semicolon || token.kind == TokenKind::Close) {
            statementTokens = 0;
        } else {
            statementIsLease = statementTokens == 0 && IsWord(token, "lease");
            statementTokens++;
        }
    }
    return leases;
}

std::string_view SkipTornFirstBlock(std::string_view tail)
{
    constexpr std::string_view kBlock = "\nlease";
    for (size_t at = tail.find(kBlock); at != std::string_view::npos;
         at = tail.find(kBlock, at + 1)) {
        size_t open = tail.find_first_not_of(" \t", at + kBlock.size());
        if (open != std::string_view::npos && tail[open] == '{') {
            return tail.substr(at + 1);
        }
    }
    return {};
}

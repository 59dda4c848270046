#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <optional>

// The names of one enum's values in one table: the word that reports and files use (the JSON
// report, the scan history) and the German text the user reads (empty where the user never sees
// the value). Rows are in the order of the values, starting at 0; namesInOrder() checks that at
// compile time.
template <typename E> struct EnumName
{
    E value;
    QStringView word;
    QStringView text;
};

template <typename E, std::size_t N> using EnumNames = std::array<EnumName<E>, N>;

template <typename E, std::size_t N> constexpr bool namesInOrder(const EnumNames<E, N>& names)
{
    for (std::size_t i = 0; i < N; ++i)
        if (static_cast<std::size_t>(names[i].value) != i)
            return false;
    return true;
}

template <typename E, std::size_t N> QString wordOf(const EnumNames<E, N>& names, E value)
{
    const auto i = static_cast<std::size_t>(value);
    return i < N ? names[i].word.toString() : QString();
}

template <typename E, std::size_t N> QString textOf(const EnumNames<E, N>& names, E value)
{
    const auto i = static_cast<std::size_t>(value);
    return i < N ? names[i].text.toString() : QString();
}

// The value a report or file names, if the word is one of the table's.
template <typename E, std::size_t N> std::optional<E> valueOfWord(const EnumNames<E, N>& names, QStringView word)
{
    for (const EnumName<E>& n : names)
        if (n.word == word)
            return n.value;
    return std::nullopt;
}

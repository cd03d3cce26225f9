// The order of file names as people read them: by the rules of the user's
// language, letters without regard to case, a run of digits by its value
// (file2 before file10). Names are the file system's bytes; a byte that is
// not part of valid UTF-8 reads as U+FFFD. Names these rules call equal
// ("Photo" and "photo", "file02" and "file2") fall back to their bytes, so
// the order is total and the same on every run. Sorting many names goes
// through their collation keys, made once per name. Standard library and ICU;
// used by the file list's sorting (RowOrder).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

struct UCollator;

class NaturalOrder {
  public:
    // `locale` is a locale id such as "en_US" or "sv_SE"; "", "C" and "POSIX"
    // take the order common to all languages.
    explicit NaturalOrder(std::string_view locale);
    ~NaturalOrder();
    NaturalOrder(const NaturalOrder&) = delete;
    NaturalOrder& operator=(const NaturalOrder&) = delete;

    // Appends the collation key of `name` to `keys`: two names' keys compare
    // as bytes (std::string_view::compare) in the order above, ties aside.
    void AppendKey(std::string_view name, std::string& keys) const;
    // The keys of many names, in order: the key of names[i] ends at
    // ends[i] in `keys` and begins where the one before ends. Made on a few
    // threads when there are many names.
    void AppendKeys(std::span<const std::string_view> names, std::string& keys,
                    std::vector<std::size_t>& ends) const;

    // The whole order, ties included: for a few names at a time.
    bool Less(std::string_view a, std::string_view b) const;

  private:
    UCollator* collator_ = nullptr; // null when the collation cannot be opened
    mutable std::u16string utf16_;  // reused for every name
};

// An ordered list of full file paths with a change notification. Main thread.
#pragma once

#include "library/TypesExt.h"

#include <string>
#include <vector>

class TPlaylist {
public:
    TNotifyEvent<TPlaylist> OnChange;

    void LoadFolder(const std::string &path);
    void Assign(const TPlaylist &source);
    void Add(const std::string &fileName);
    void Clear();
    int IndexOf(const std::string &fileName) const;
    int Count() const;
    // Raises std::out_of_range "Listenindex überschreitet das Maximum (%d)".
    const std::string &Items(int index) const;

private:
    std::vector<std::string> Files;
};

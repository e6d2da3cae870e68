#pragma once

// The search data source (TODO: replaced by its owner).
class SearchSource {
public:
    virtual ~SearchSource() = default;
};

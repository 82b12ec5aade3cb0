// The options store: the name/value table T_Options of an account set (or
// of the catalogue) seen through a client-side cache. Reads come from the
// cache; edits of existing options stay in the cache until SaveOptions
// sends them in one transaction; a new option is inserted at once.
//
// TFundOptions is the store of an account set's options; FundOptions is
// the one shared by the new account-set wizard and the upgrade driver
// (nullptr until one of them creates it over UserDB).
#pragma once

#include <QDate>
#include <QString>

#include <memory>

namespace vqsql {
class Connection;
}

class TAppOptions {
public:
    // Nothing is read until the first GetOption or SetOption.
    explicit TAppOptions(vqsql::Connection& connection);
    // Saves pending edits, then closes the cache.
    virtual ~TAppOptions();
    TAppOptions(const TAppOptions&) = delete;
    TAppOptions& operator=(const TAppOptions&) = delete;

    // The option's text (NULL gives empty text), or `defaultValue` when no
    // row has the name (letter case ignored).
    QString GetOption(const QString& name, const QString& defaultValue);
    void SetOption(const QString& name, const QString& value);
    void SetIntOption(const QString& name, int value);
    // Dates are stored as ISO text (yyyy-MM-dd).
    void SetDateOption(const QString& name, const QDate& value);
    // Sends the cached edits in one transaction; on failure cancels them,
    // shows "保存账套选项数据失败。" (caption "提示") and returns false.
    bool SaveOptions();
    // Drops the cache (and unsaved edits); the next access reads again.
    void CloseOptions();

    bool modified() const { return modified_; }
    bool cacheOpen() const { return open_; }

    struct Impl;

private:
    void openCache();

    bool modified_ = false;
    bool open_ = false;
    vqsql::Connection& connection_;
    std::unique_ptr<Impl> impl_;
};

class TFundOptions : public TAppOptions {
public:
    using TAppOptions::TAppOptions;
};

// The account-set store shared by the wizard and the upgrade driver.
extern TFundOptions* FundOptions;

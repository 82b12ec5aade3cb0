-- The catalogue database VQTCWAccList: the list of account sets, the
-- administrator password cache, the applied template-pack versions and the
-- login log of the client connections.

-- One row per account set, those in the recycle bin included.
create table AccList (
    KeyID      T_KEYID  not null,
    DBName     T_VA32   null,      -- account-set code; the database is VQTCW_<code>
    AccName    T_VA255  null,      -- display name
    DelFlag    T_BYTE   null,      -- 0 active, 1 in the recycle bin
    ShareCount T_INTEGER null,
    LockFlag   T_BYTE   null,
    constraint PK_ACCLIST primary key clustered (KeyID)
)
GO

-- Name/value pairs; rows named VQTCW_<code> cache that account set's
-- administrator password.
create table T_Options (
    KeyID    T_KEYID not null,
    Name     T_VA64  null,
    TxtValue T_VA255 null,
    constraint PK_T_OPTIONS primary key clustered (KeyID)
)
GO

-- Template-pack versions applied to this installation ("PKV" + yymmdd).
create table DBVersion (
    KeyID       T_KEYID    not null,
    Version     T_VA32     null,
    ReleaseDate T_DATETIME null,
    constraint PK_DBVERSION primary key clustered (KeyID)
)
GO

-- The login log: one row per client login.
create table T_ClientLog (
    KeyID       T_KEYID    not null,
    MashineIP   T_VA64     null,
    MashineName T_VA255    null,
    ConnectPort T_INTEGER  null,
    DBName      T_VA32     null,
    AccName     T_VA255    null,
    LoginUser   T_VA64     null,
    LoginTime   T_DATETIME null,
    LogoutTime  T_DATETIME null,
    Closed      T_BYTE     not null,   -- 0 active, 1 closed, 2 cleared from the log
    constraint PK_T_CLIENTLOG primary key clustered (KeyID)
)
GO

-- The connection service looks up the open rows (Closed = 0) at every
-- connect, login and disconnect, and the login-log viewer lists the closed
-- rows newest first: both seek on Closed and read KeyID in order from this
-- index, so their cost does not grow with the log. (Catalogues made before
-- it existed get it from EnsureClientLogIndexes, db/clientlogindexes.h.)
create index IX_T_CLIENTLOG_CLOSED on T_ClientLog(Closed, KeyID)
GO

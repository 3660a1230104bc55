// ADO-style data objects: Connection, Command, Parameters/Parameter, Recordset, Fields/Field, with ADO's
// member names, constants, defaults and error numbers, dispatchable so that pages use them too
// (ProgIDs "ADODB.Connection", "ADODB.Command", "ADODB.Recordset"). C++ callers use the same members
// directly; get_/put_/putref_ name the accessors of a property as ADO's own C++ binding does.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "com_server/dispatch.h"
#include "com_server/enumeration.h"
#include "com_server/object.h"
#include "com_server/variant.h"

namespace orvan::data {
class Session;
}

namespace orvan::data::ado {

using com::ComPtr;
using com::Variant;

// ObjectStateEnum
inline constexpr std::int32_t adStateClosed = 0, adStateOpen = 1;
// CursorTypeEnum
inline constexpr std::int32_t adOpenUnspecified = -1, adOpenForwardOnly = 0, adOpenKeyset = 1,
                              adOpenDynamic = 2, adOpenStatic = 3;
// LockTypeEnum
inline constexpr std::int32_t adLockUnspecified = -1, adLockReadOnly = 1, adLockPessimistic = 2,
                              adLockOptimistic = 3, adLockBatchOptimistic = 4;
// CursorLocationEnum
inline constexpr std::int32_t adUseServer = 2, adUseClient = 3;
// CommandTypeEnum
inline constexpr std::int32_t adCmdUnspecified = -1, adCmdText = 1, adCmdTable = 2, adCmdStoredProc = 4,
                              adCmdUnknown = 8;
// ExecuteOptionEnum
inline constexpr std::int32_t adOptionUnspecified = -1, adExecuteNoRecords = 0x80;
// ParameterDirectionEnum
inline constexpr std::int32_t adParamUnknown = 0, adParamInput = 1, adParamOutput = 2, adParamInputOutput = 3,
                              adParamReturnValue = 4;
// EditModeEnum
inline constexpr std::int32_t adEditNone = 0, adEditInProgress = 1, adEditAdd = 2;
// PositionEnum (AbsolutePosition, AbsolutePage)
inline constexpr std::int32_t adPosUnknown = -1, adPosBOF = -2, adPosEOF = -3;
// BookmarkEnum (Start of Move, GetRows)
inline constexpr std::int32_t adBookmarkCurrent = 0, adBookmarkFirst = 1, adBookmarkLast = 2;
// GetRowsOptionEnum, StringFormatEnum, SearchDirectionEnum, AffectEnum, FilterGroupEnum
inline constexpr std::int32_t adGetRowsRest = -1, adClipString = 2, adSearchForward = 1, adSearchBackward = -1,
                              adAffectCurrent = 1, adFilterNone = 0;
// CursorOptionEnum (Supports)
inline constexpr std::int32_t adHoldRecords = 0x100, adMovePrevious = 0x200, adAddNew = 0x1000400,
                              adDelete = 0x1000800, adUpdate = 0x1008000, adBookmark = 0x2000,
                              adApproxPosition = 0x4000, adUpdateBatch = 0x10000, adResync = 0x20000,
                              adNotify = 0x40000, adFind = 0x80000, adSeek = 0x400000, adIndex = 0x800000;
// StreamTypeEnum, StreamReadEnum, StreamWriteEnum, LineSeparatorEnum
inline constexpr std::int32_t adTypeBinary = 1, adTypeText = 2, adReadAll = -1, adReadLine = -2,
                              adWriteChar = 0, adWriteLine = 1, adCRLF = -1, adLF = 10, adCR = 13;

// ADO's own errors (short numbers) and the provider errors the layer raises itself.
// The numbers are the catalogue's (com_server/error_numbers.h).
namespace aderr {
using namespace com::adoerr;
using com::hr::ConcurrencyViolation;  // -2147217864
using com::hr::ErrorsInCommand;       // -2147217900
using com::hr::ErrorsOccurred;        // -2147217887
// An ADO error with its runtime text (source "ADODB.<Class>").
com::ComError error(std::int32_t number, const char* className);
}  // namespace aderr

class Recordset;
class Command;

// One provider error, as the Connection's Errors collection holds it.
class Error : public com::Object {
public:
    static constexpr const char* kInterfaceName = "Error";
    explicit Error(const com::ComError& e);
    ~Error() override;
    std::int32_t get_Number();  // default member
    std::string get_Description();
    std::string get_Source();
    std::string get_SQLState();
    std::int32_t get_NativeError();
    const com::TypeInfo& typeInfo() const override;

private:
    std::int32_t number_;
    std::string description_, source_, sqlState_;
};

// The provider errors of a Connection's last failing operation. A new provider error replaces them;
// ADO's own errors (3021, 3704, ...) are raised without being added.
class Errors : public com::Object {
public:
    static constexpr const char* kInterfaceName = "Errors";
    Errors();
    ~Errors() override;
    std::int32_t get_Count();
    ComPtr<Error> get_Item(Variant Index);  // default member; 3265 out of range
    void Clear();
    void Refresh();
    ComPtr<com::Enumerator> NewEnum();
    // Replaces the collection with the error e when it comes from a provider (a full HRESULT-style
    // number); leaves it alone for ADO's and the runtime's own errors.
    void record(const com::ComError& e);
    const com::TypeInfo& typeInfo() const override;

private:
    std::vector<ComPtr<Error>> items_;
};

class Connection : public com::Object {
public:
    static constexpr const char* kInterfaceName = "_Connection";
    Connection();
    ~Connection() override;

    std::string get_ConnectionString();
    void put_ConnectionString(std::string value);
    std::int32_t get_ConnectionTimeout();  // default 15; 0 = no limit
    void put_ConnectionTimeout(std::int32_t value);
    std::int32_t get_CommandTimeout();  // default 30; 0 = no limit
    void put_CommandTimeout(std::int32_t value);
    std::int32_t get_State();

    // Opens the session (from the pool of that connection string). Empty arguments mean "not given".
    void Open(std::string ConnectionString, std::string UserID, std::string Password, std::int32_t Options);
    // Runs a statement; a closed Recordset for statements that return no rows. RecordsAffected is written.
    ComPtr<Recordset> Execute(std::string CommandText, Variant& RecordsAffected, std::int32_t Options);
    // Execute(CommandText, ignored, adOptionUnspecified) for a statement whose rows are not wanted,
    // giving back the error Execute would raise (recorded in Errors all the same) instead of raising
    // it: for callers that go on whatever the outcome, a refusal the session already knows costs no
    // exception.
    std::optional<com::ComError> ExecuteIgnoringFailure(const std::string& CommandText);
    // Closes the connection (3246 while a transaction is open; 3704 when closed); its recordsets close.
    void Close();

    // Starts a transaction, or a nested one inside it; returns the new nesting level (1 for the outer
    // one). CommitTrans / RollbackTrans end the innermost; -2147168242 when none is open.
    std::int32_t BeginTrans();
    void CommitTrans();
    void RollbackTrans();
    // The provider errors of the last operation that failed on this connection (the same object always).
    ComPtr<Errors> get_Errors();
    std::string get_Version();  // "2.5"

    // The open session; error 3709 when the connection is not open.
    Session& session();
    bool isOpen() const;

    // Where recordsets this connection's Execute returns keep their cursor (default adUseServer).
    std::int32_t get_CursorLocation();
    void put_CursorLocation(std::int32_t value);

    // The member table (the same for every object of the class).
    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    friend class Recordset;  // open recordsets register here so that Close can close them
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class Parameter : public com::Object {
public:
    static constexpr const char* kInterfaceName = "_Parameter";
    Parameter();
    ~Parameter() override;
    std::string get_Name();
    void put_Name(std::string v);
    std::int32_t get_Type();
    void put_Type(std::int32_t v);
    std::int32_t get_Direction();
    void put_Direction(std::int32_t v);
    std::int32_t get_Size();
    void put_Size(std::int32_t v);
    Variant get_Value();  // default member
    // Refuses a non-finite number (NaN, an infinity) with error 6 and keeps the value it had.
    void put_Value(Variant v);
    std::int32_t get_Precision();
    void put_Precision(std::int32_t v);
    std::int32_t get_NumericScale();
    void put_NumericScale(std::int32_t v);
    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    std::string name_;
    std::int32_t type_ = 0, direction_ = adParamInput, size_ = 0, precision_ = 0, scale_ = 0;
    Variant value_;
};

class Parameters : public com::Object {
public:
    static constexpr const char* kInterfaceName = "Parameters";
    Parameters();
    ~Parameters() override;
    std::int32_t get_Count();
    // By name (case-insensitive) or ordinal; 3265 when there is none.
    ComPtr<Parameter> get_Item(Variant Index);  // default member
    void Append(ComPtr<Parameter> Object);
    // Removes the parameter of that name or ordinal; 3265 when there is none.
    void Delete(Variant Index);
    // Asks the command for its parameters: a text command gets one input parameter per "?" outside
    // quotes; other command types are not described by the providers (3251).
    void Refresh();
    ComPtr<com::Enumerator> NewEnum();
    const com::TypeInfo& typeInfo() const override;

private:
    friend class Command;
    std::vector<ComPtr<Parameter>> items_;
    Command* owner_ = nullptr;  // the command whose text Refresh reads (it owns this collection)
};

class Command : public com::Object {
public:
    static constexpr const char* kInterfaceName = "_Command";
    Command();
    ~Command() override;

    ComPtr<Connection> get_ActiveConnection();
    void putref_ActiveConnection(ComPtr<Connection> value);
    std::string get_CommandText();
    void put_CommandText(std::string value);
    std::int32_t get_CommandType();  // a new Command's is 8 (adCmdUnknown)
    void put_CommandType(std::int32_t value);
    std::int32_t get_CommandTimeout();
    void put_CommandTimeout(std::int32_t value);
    ComPtr<Parameters> get_Parameters();
    // Whether the command asks to be prepared; the providers keep their prepared statements
    // themselves, so this is kept and reported.
    bool get_Prepared();
    void put_Prepared(bool value);
    std::int32_t get_State();  // always adStateClosed: commands run synchronously
    ComPtr<Parameter> CreateParameter(std::string Name, std::int32_t Type, std::int32_t Direction,
                                      std::int32_t Size, Variant Value);
    // Runs the command; output parameters are filled afterwards.
    ComPtr<Recordset> Execute(Variant& RecordsAffected, Variant Parameters, std::int32_t Options);

    // The member table (the same for every object of the class).
    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    friend class Recordset;   // Recordset.Open runs a Command's statement with the Command's settings
    friend class Parameters;  // Refresh reads the command's text
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class Field : public com::Object {
public:
    static constexpr const char* kInterfaceName = "Field";
    ~Field() override;
    std::string get_Name();
    std::int32_t get_Type();
    Variant get_Value();  // default member; 3021 with no current row
    // Converts to the column's type as the classic runtime would; -2147217887 when it cannot.
    void put_Value(Variant value);
    Variant get_OriginalValue();
    // The value the database holds now for this column of the current row (read again by its key).
    Variant get_UnderlyingValue();
    std::int32_t get_ActualSize();   // length of the current value (characters for text; 0 for Null)
    std::int32_t get_DefinedSize();  // declared length for text, byte width for fixed types
    std::int32_t get_Precision();
    std::int32_t get_NumericScale();
    const com::TypeInfo& typeInfo() const override;

private:
    friend class Recordset;
    struct Impl;
    explicit Field(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

class Fields : public com::Object {
public:
    static constexpr const char* kInterfaceName = "Fields";
    ~Fields() override;
    std::int32_t get_Count();
    ComPtr<Field> get_Item(Variant Index);  // default member; by name (case-insensitive) or ordinal
    // For Each gives the Field objects, in column order.
    ComPtr<com::Enumerator> NewEnum();
    const com::TypeInfo& typeInfo() const override;
    // Item(Index).Value, read and assigned, for C++ callers: the same checks and errors, without a
    // Field object.
    Variant valueOf(const Variant& Index);
    void assign(const Variant& Index, Variant value);

private:
    friend class Recordset;
    struct Impl;
    // The column Item(Index) names: error 3265 when there is none.
    std::size_t column(const Variant& Index);
    explicit Fields(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

class Recordset : public com::Object {
public:
    static constexpr const char* kInterfaceName = "_Recordset";
    Recordset();
    ~Recordset() override;

    Variant get_ActiveConnection();
    void putref_ActiveConnection(Variant value);
    Variant get_Source();
    void put_Source(Variant value);
    std::int32_t get_CursorLocation();
    void put_CursorLocation(std::int32_t value);
    std::int32_t get_CursorType();
    void put_CursorType(std::int32_t value);
    std::int32_t get_LockType();
    void put_LockType(std::int32_t value);
    std::int32_t get_MaxRecords();
    void put_MaxRecords(std::int32_t value);
    std::int32_t get_State();
    bool get_BOF();
    bool get_EOF();
    std::int32_t get_RecordCount();
    std::int32_t get_EditMode();
    ComPtr<Fields> get_Fields();  // default member: rs("NOME") reads Fields("NOME").Value
    std::int32_t get_CacheSize();
    void put_CacheSize(std::int32_t value);

    // Position and paging. AbsolutePosition is 1-based (adPosBOF, adPosEOF, adPosUnknown without a
    // current row or on a forward-only cursor); AbsolutePage is the page of the current row.
    std::int32_t get_AbsolutePosition();
    void put_AbsolutePosition(std::int32_t value);
    std::int32_t get_PageSize();  // default 10
    void put_PageSize(std::int32_t value);
    std::int32_t get_PageCount();  // -1 where RecordCount is -1
    std::int32_t get_AbsolutePage();
    void put_AbsolutePage(std::int32_t value);
    // A row's bookmark (a Double), valid in the recordset and its clones; 3251 on a forward-only cursor.
    Variant get_Bookmark();
    void put_Bookmark(Variant value);

    // Criteria ("NOME = 'Ana' AND OID > 2", LIKE with * or %, #dates#), an array of bookmarks, or
    // adFilterNone / "" for every row. The first row that passes becomes current.
    Variant get_Filter();
    void put_Filter(Variant value);
    // "FIELD [ASC|DESC], ..." orders the rows held; "" restores the order they were read in.
    std::string get_Sort();
    void put_Sort(std::string value);

    // Source: a statement text, a table name (Options 2) or a Command; ActiveConnection: a Connection,
    // a connection string, or Empty/Missing to use the Command's or the one already set.
    void Open(Variant Source, Variant ActiveConnection, std::int32_t CursorType, std::int32_t LockType,
              std::int32_t Options);
    void Close();
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    // Moves NumRecords rows from Start (a bookmark or adBookmarkCurrent/First/Last); past either end
    // it stops at BOF or EOF, and moving on from there raises 3021.
    void Move(std::int32_t NumRecords, Variant Start);
    void AddNew();
    void Update();
    void CancelUpdate();
    // Deletes the current row from its table (key and, without a key, every column locate it); the row
    // stays current but unreadable until the next move.
    void Delete(std::int32_t AffectRecords);
    // Runs the source again and reads its rows afresh.
    void Requery(std::int32_t Options);
    bool Supports(std::int32_t CursorOptions);

    // Rows (adGetRowsRest for all) from Start as a 2-D array: first subscript the field, second the
    // row. Fields: one name or ordinal, or an array of them. The cursor ends after the last row read.
    Variant GetRows(std::int32_t Rows, Variant Start, Variant Fields);
    // The rows as text (adClipString): columns joined by ColumnDelimeter, each row ended by
    // RowDelimeter, Null written as NullExpr.
    std::string GetString(std::int32_t StringFormat, std::int32_t NumRows, std::string ColumnDelimeter,
                          std::string RowDelimeter, std::string NullExpr);
    // Moves to the first row from the current one (or Start) after SkipRecords that meets the one
    // criterion "FIELD op value"; EOF (BOF backwards) when none does.
    void Find(std::string Criteria, std::int32_t SkipRecords, std::int32_t SearchDirection, Variant Start);
    // A recordset over a copy of the rows held, positioned on the first, with the same bookmarks.
    ComPtr<Recordset> Clone(std::int32_t LockType);
    // The next result of a compound statement: every source here is one statement, so it closes this
    // recordset and returns Nothing.
    ComPtr<Recordset> NextRecordset(Variant& RecordsAffected);

    // The member table (the same for every object of the class).
    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    friend class Field;
    friend class Fields;
    friend class Command;
    friend class Connection;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A text stream in memory (ADODB.Stream with Type adTypeText): WriteText / ReadText over the text,
// Position and Size in bytes of the Charset ("Unicode" by default: UTF-16 with its byte-order mark).
class Stream : public com::Object {
public:
    static constexpr const char* kInterfaceName = "_Stream";
    Stream();
    ~Stream() override;
    std::int32_t get_State();
    std::int32_t get_Type();
    void put_Type(std::int32_t value);  // adTypeText only (adTypeBinary: 3251)
    std::string get_Charset();
    void put_Charset(std::string value);  // while the stream is empty or at position 0
    std::int32_t get_LineSeparator();
    void put_LineSeparator(std::int32_t value);
    std::int32_t get_Size();
    std::int32_t get_Position();
    void put_Position(std::int32_t value);  // a character boundary within the text; 3001 otherwise
    bool get_EOS();
    void Open(Variant Source, std::int32_t Mode, std::int32_t Options, std::string UserName,
              std::string Password);
    void Close();
    void WriteText(std::string Data, std::int32_t Options);
    std::string ReadText(std::int32_t NumChars);
    void SetEOS();
    void SkipLine();
    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Registers "ADODB.Connection", "ADODB.Command", "ADODB.Recordset", "ADODB.Parameter" and
// "ADODB.Stream" as built-in classes of the process.
void registerAdoClasses();

}  // namespace orvan::data::ado

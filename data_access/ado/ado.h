// ADO-style data objects: Connection, Command, Parameters/Parameter, Recordset, Fields/Field, with ADO's
// member names, constants, defaults and error numbers, dispatchable so that pages use them too
// (ProgIDs "ADODB.Connection", "ADODB.Command", "ADODB.Recordset"). C++ callers use the same members
// directly; get_/put_/putref_ name the accessors of a property as ADO's own C++ binding does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
    void Close();

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
    const com::TypeInfo& typeInfo() const override;

private:
    std::string name_;
    std::int32_t type_ = 0, direction_ = adParamInput, size_ = 0;
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
    const com::TypeInfo& typeInfo() const override;

private:
    friend class Command;
    std::vector<ComPtr<Parameter>> items_;
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
    ComPtr<Parameter> CreateParameter(std::string Name, std::int32_t Type, std::int32_t Direction,
                                      std::int32_t Size, Variant Value);
    // Runs the command; output parameters are filled afterwards.
    ComPtr<Recordset> Execute(Variant& RecordsAffected, Variant Parameters, std::int32_t Options);

    // The member table (the same for every object of the class).
    static const com::TypeInfo& members();
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    friend class Recordset;  // Recordset.Open runs a Command's statement with the Command's settings
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

private:
    friend class Recordset;
    struct Impl;
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

    // Source: a statement text, a table name (Options 2) or a Command; ActiveConnection: a Connection,
    // a connection string, or Empty/Missing to use the Command's or the one already set.
    void Open(Variant Source, Variant ActiveConnection, std::int32_t CursorType, std::int32_t LockType,
              std::int32_t Options);
    void Close();
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    void AddNew();
    void Update();
    void CancelUpdate();

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

// Registers "ADODB.Connection", "ADODB.Command", "ADODB.Recordset" as built-in classes of the process.
void registerAdoClasses();

}  // namespace orvan::data::ado

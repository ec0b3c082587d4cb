#include "core/ErrorTexts.h"

#include <cerrno>
#include <cstring>

namespace ErrorTexts {

QString systemError(int err)
{
    switch (err) {
    case EACCES:
        return QStringLiteral("Permiso denegado");
    case EPERM:
        return QStringLiteral("Operación no permitida");
    case ENOENT:
        return QStringLiteral("No existe el fichero o el directorio");
    case ENOTDIR:
        return QStringLiteral("No es un directorio");
    case EISDIR:
        return QStringLiteral("Es un directorio");
    case EROFS:
        return QStringLiteral("Sistema de ficheros de sólo lectura");
    case ENOSPC:
        return QStringLiteral("No queda espacio en el dispositivo");
    case EDQUOT:
        return QStringLiteral("Se ha excedido la cuota de disco");
    case EIO:
        return QStringLiteral("Error de entrada/salida");
    case ENAMETOOLONG:
        return QStringLiteral("Nombre de fichero demasiado largo");
    case ELOOP:
        return QStringLiteral("Demasiados niveles de enlaces simbólicos");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Demasiados ficheros abiertos");
    case EFBIG:
        return QStringLiteral("Fichero demasiado grande");
    case ENOMEM:
        return QStringLiteral("No se puede asignar memoria");
    case EBUSY:
        return QStringLiteral("Dispositivo o recurso ocupado");
    case EXDEV:
        return QStringLiteral("Enlace entre dispositivos no válido");
    default:
        return QString::fromLocal8Bit(std::strerror(err));
    }
}

QString sqliteError(int code)
{
    if (code == SqliteCode::ReadOnlyDbMoved)
        return QStringLiteral("el archivo de la tabla se ha movido, sustituido o borrado mientras estaba abierto");
    switch (code & 0xff) {
    case SqliteCode::Busy:
    case SqliteCode::Locked:
        return QStringLiteral("el archivo está bloqueado por otro proceso");
    case SqliteCode::NoMem:
        return QStringLiteral("no queda memoria libre");
    case SqliteCode::ReadOnly:
        return QStringLiteral("el archivo es de solo lectura");
    case SqliteCode::IoErr:
        return QStringLiteral("error de lectura o escritura en el disco");
    case SqliteCode::Corrupt:
    case SqliteCode::NotADb:
        return QStringLiteral("el archivo está dañado");
    case SqliteCode::Full:
        return QStringLiteral("el disco está lleno");
    case SqliteCode::CantOpen:
        return QStringLiteral("no se puede abrir el archivo");
    case SqliteCode::Perm:
    case SqliteCode::Auth:
        return QStringLiteral("permiso denegado");
    case SqliteCode::Constraint:
        return QStringLiteral("el registro no cumple las restricciones de la tabla");
    case SqliteCode::TooBig:
        return QStringLiteral("el valor es demasiado grande");
    case SqliteCode::Error:
        return QStringLiteral("error en la orden enviada al motor");
    default:
        return QStringLiteral("error del motor de datos (código %1)").arg(code);
    }
}

QString socketError(int error)
{
    switch (error) {
    case SocketCode::RemoteHostClosed:
        return QStringLiteral("El servidor de correo cerró la conexión");
    case SocketCode::SocketTimeout:
        return QStringLiteral("Se agotó el tiempo de espera de la red");
    case SocketCode::Network:
        return QStringLiteral("Error de red");
    case SocketCode::SocketAccess:
        return QStringLiteral("El sistema no permite conectar con el servidor de correo");
    default:
        return QStringLiteral("Error en la conexión con el servidor de correo");
    }
}

} // namespace ErrorTexts

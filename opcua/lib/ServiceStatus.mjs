// The status code a client gets when asking the service failed.
import { StatusCodes } from "node-opcua";

export function statusOfServiceError(error) {
    switch (error?.status) {
        case 404:
            return StatusCodes.BadNodeIdUnknown;
        case 400:
            return StatusCodes.BadContinuationPointInvalid;
        case 413:
        case 503:
            return StatusCodes.BadResourceUnavailable;
        case 0:
            return StatusCodes.BadCommunicationError;
        default:
            return StatusCodes.BadInternalError;
    }
}
